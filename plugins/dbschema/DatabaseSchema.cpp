#include "DatabaseSchema.h"

#include <iterator>

namespace vtr_db {

// SQLite keys rows by rowid; PostgreSQL tables that are read in stored
// order get a RowId of their own. Texts compare exactly, and identities
// are folded by the modules, so both dialects find the same rows.
const SchemaStep kSchemaSteps[] = {
    // 1: custom messages and material data.
    { "CREATE TABLE CustomMessages ("
      " HelpId INTEGER NOT NULL, RuleName TEXT NOT NULL, Category TEXT NOT NULL, Message TEXT NOT NULL,"
      " PRIMARY KEY (HelpId, RuleName, Category));"
      "CREATE TABLE Materials ("
      " MaterialId INTEGER PRIMARY KEY, Name TEXT NOT NULL UNIQUE,"
      " Process TEXT NOT NULL DEFAULT '', Properties TEXT NOT NULL DEFAULT '');",
        "CREATE TABLE CustomMessages ("
        " HelpId INTEGER NOT NULL, RuleName TEXT NOT NULL, Category TEXT NOT NULL, Message TEXT NOT NULL,"
        " PRIMARY KEY (HelpId, RuleName, Category));"
        "CREATE TABLE Materials ("
        " MaterialId BIGSERIAL PRIMARY KEY, Name TEXT NOT NULL UNIQUE,"
        " Process TEXT NOT NULL DEFAULT '', Properties TEXT NOT NULL DEFAULT '');",
        SchemaData::None },
    // 2: the configurator's custom and product rules, one element per rule and key.
    { "CREATE TABLE UserRules ("
      " RuleKey TEXT NOT NULL, RuleName TEXT NOT NULL, Category TEXT NOT NULL, Element TEXT NOT NULL,"
      " UNIQUE (RuleKey, RuleName, Category));",
        "CREATE TABLE UserRules (RowId BIGSERIAL PRIMARY KEY,"
        " RuleKey TEXT NOT NULL, RuleName TEXT NOT NULL, Category TEXT NOT NULL, Element TEXT NOT NULL,"
        " UNIQUE (RuleKey, RuleName, Category));",
        SchemaData::None },
    // 3: the product data of the hardware, thread and material editors. The
    // materials of step 1 keep their rows; their single process moves into
    // the process map, their old free-text columns stay for older builds.
    { "ALTER TABLE Materials ADD COLUMN Family TEXT;"
      "ALTER TABLE Materials ADD COLUMN Density REAL;"
      "ALTER TABLE Materials ADD COLUMN YieldStrength REAL;"
      "ALTER TABLE Materials ADD COLUMN TensileStrength REAL;"
      "ALTER TABLE Materials ADD COLUMN ElasticModulus REAL;"
      "ALTER TABLE Materials ADD COLUMN Hardness TEXT;"
      "CREATE TABLE MaterialProcesses ("
      " MaterialId INTEGER NOT NULL, Process TEXT NOT NULL, PRIMARY KEY (MaterialId, Process));"
      "INSERT OR IGNORE INTO MaterialProcesses (MaterialId, Process)"
      " SELECT MaterialId, Process FROM Materials WHERE Process <> '';"
      "CREATE TABLE Fasteners ("
      " FastenerId INTEGER PRIMARY KEY, Type TEXT NOT NULL, Standard TEXT, Size TEXT NOT NULL, Pitch REAL,"
      " MinLength REAL, MaxLength REAL, Head TEXT, Drive TEXT, Material TEXT);"
      "CREATE TABLE Threads ("
      " ThreadId INTEGER PRIMARY KEY, Standard TEXT NOT NULL, Designation TEXT NOT NULL COLLATE NOCASE UNIQUE,"
      " MajorDiameter REAL NOT NULL, Pitch REAL NOT NULL, TapDrill REAL NOT NULL);",
        "ALTER TABLE Materials ADD COLUMN Family TEXT, ADD COLUMN Density DOUBLE PRECISION,"
        " ADD COLUMN YieldStrength DOUBLE PRECISION, ADD COLUMN TensileStrength DOUBLE PRECISION,"
        " ADD COLUMN ElasticModulus DOUBLE PRECISION, ADD COLUMN Hardness TEXT;"
        "CREATE TABLE MaterialProcesses (RowId BIGSERIAL UNIQUE,"
        " MaterialId BIGINT NOT NULL, Process TEXT NOT NULL, PRIMARY KEY (MaterialId, Process));"
        "INSERT INTO MaterialProcesses (MaterialId, Process)"
        " SELECT MaterialId, Process FROM Materials WHERE Process <> '' ON CONFLICT DO NOTHING;"
        "CREATE TABLE Fasteners ("
        " FastenerId BIGSERIAL PRIMARY KEY, Type TEXT NOT NULL, Standard TEXT, Size TEXT NOT NULL,"
        " Pitch DOUBLE PRECISION, MinLength DOUBLE PRECISION, MaxLength DOUBLE PRECISION,"
        " Head TEXT, Drive TEXT, Material TEXT);"
        "CREATE TABLE Threads ("
        " ThreadId BIGSERIAL PRIMARY KEY, Standard TEXT NOT NULL, Designation TEXT NOT NULL,"
        " MajorDiameter DOUBLE PRECISION NOT NULL, Pitch DOUBLE PRECISION NOT NULL,"
        " TapDrill DOUBLE PRECISION NOT NULL);"
        "CREATE UNIQUE INDEX ThreadsDesignation ON Threads (lower(Designation));",
        SchemaData::SeedProducts },
    // 4: a version per stored user rule, so that a stale copy of a rule is
    // never written over a newer one. The last version given is kept apart,
    // so that removing a rule never lets a number be given twice. SQLite
    // raises it by triggers; the server's module raises it under its row
    // lock before each write, which also puts writers of rules in line.
    { "ALTER TABLE UserRules ADD COLUMN Version INTEGER NOT NULL DEFAULT 1;"
      "CREATE TABLE UserRuleVersion (Last INTEGER NOT NULL);"
      "INSERT INTO UserRuleVersion (Last) SELECT coalesce(max(Version), 0) FROM UserRules;"
      "CREATE TRIGGER UserRuleInserted AFTER INSERT ON UserRules BEGIN"
      " UPDATE UserRuleVersion SET Last = NEW.Version WHERE Last < NEW.Version; END;"
      "CREATE TRIGGER UserRuleUpdated AFTER UPDATE OF Version ON UserRules BEGIN"
      " UPDATE UserRuleVersion SET Last = NEW.Version WHERE Last < NEW.Version; END;",
        "ALTER TABLE UserRules ADD COLUMN Version INTEGER NOT NULL DEFAULT 1;"
        "CREATE TABLE UserRuleVersion (Last INTEGER NOT NULL);"
        "INSERT INTO UserRuleVersion (Last) SELECT coalesce(max(Version), 0) FROM UserRules;",
        SchemaData::None },
    // 5: each stored rule gets a help id of its own, so that custom messages
    // keyed by help id no longer collide at 0, and a rule's identity (its
    // case-folded name and category) becomes a unique key, so that two
    // copies adding one name cannot both store it.
    { "ALTER TABLE UserRules ADD COLUMN HelpId INTEGER;"
      "ALTER TABLE UserRules ADD COLUMN FoldedName TEXT;"
      "ALTER TABLE UserRules ADD COLUMN FoldedCategory TEXT;"
      "CREATE TABLE StoredRuleHelpIds (Next INTEGER NOT NULL);",
        "ALTER TABLE UserRules ADD COLUMN HelpId INTEGER, ADD COLUMN FoldedName TEXT,"
        " ADD COLUMN FoldedCategory TEXT;"
        "CREATE TABLE StoredRuleHelpIds (Next INTEGER NOT NULL);",
        SchemaData::NumberStoredRules },
    // 6: who changed what: a log of every change, and a version with the
    // last writer on each product row, so that an editor never writes over
    // a row somebody changed after it was read.
    { "CREATE TABLE ChangeLog (ChangeId INTEGER PRIMARY KEY AUTOINCREMENT, ChangedAt TEXT NOT NULL,"
      " ChangedBy TEXT NOT NULL, Host TEXT NOT NULL, What TEXT NOT NULL, ItemKey TEXT NOT NULL,"
      " OldValue TEXT, NewValue TEXT);"
      "CREATE INDEX ChangeLogTime ON ChangeLog (ChangedAt);"
      "ALTER TABLE Fasteners ADD COLUMN RowVersion INTEGER NOT NULL DEFAULT 1;"
      "ALTER TABLE Fasteners ADD COLUMN ChangedBy TEXT;"
      "ALTER TABLE Fasteners ADD COLUMN ChangedAt TEXT;"
      "ALTER TABLE Threads ADD COLUMN RowVersion INTEGER NOT NULL DEFAULT 1;"
      "ALTER TABLE Threads ADD COLUMN ChangedBy TEXT;"
      "ALTER TABLE Threads ADD COLUMN ChangedAt TEXT;"
      "ALTER TABLE Materials ADD COLUMN RowVersion INTEGER NOT NULL DEFAULT 1;"
      "ALTER TABLE Materials ADD COLUMN ChangedBy TEXT;"
      "ALTER TABLE Materials ADD COLUMN ChangedAt TEXT;",
        "CREATE TABLE ChangeLog (ChangeId BIGSERIAL PRIMARY KEY, ChangedAt TEXT NOT NULL,"
        " ChangedBy TEXT NOT NULL, Host TEXT NOT NULL, What TEXT NOT NULL, ItemKey TEXT NOT NULL,"
        " OldValue TEXT, NewValue TEXT);"
        "CREATE INDEX ChangeLogTime ON ChangeLog (ChangedAt);"
        "ALTER TABLE Fasteners ADD COLUMN RowVersion BIGINT NOT NULL DEFAULT 1, ADD COLUMN ChangedBy TEXT,"
        " ADD COLUMN ChangedAt TEXT;"
        "ALTER TABLE Threads ADD COLUMN RowVersion BIGINT NOT NULL DEFAULT 1, ADD COLUMN ChangedBy TEXT,"
        " ADD COLUMN ChangedAt TEXT;"
        "ALTER TABLE Materials ADD COLUMN RowVersion BIGINT NOT NULL DEFAULT 1, ADD COLUMN ChangedBy TEXT,"
        " ADD COLUMN ChangedAt TEXT;",
        SchemaData::None },
};
static_assert(std::size(kSchemaSteps) == kSchemaVersion);

} // namespace vtr_db
