#pragma once

#include "VTRDataHelper.h"

#include <QList>
#include <QString>

// A database that records what is stored, refuses the store number failAt
// (counting from 1; a sheet is one store) and every one after it, and reports
// itself connected or not.
class RecordingDatabase : public vtr_db::IDatabaseCollector
{
public:
    struct Stored
    {
        int32_t helpId;
        QString name;
        QString category;
        QString message;
    };
    QList<Stored> stored;
    int failAt = 0;
    bool connected = true;
    int calls = 0;

    int32_t Initialize() override { return 0; }
    int32_t GetMaterialDataFlag() override { return 0; }
    int32_t GetSchemaVersion() override { return 2; }
    void Release() override { }
    bool IsConnected() override { return connected; }
    bool IsAvailable() override { return connected; }
    bool GetCustomMessage(int32_t, const QString&, const QString&, QString& message) override
    {
        message.clear();
        return false;
    }
    int32_t AddCustomMessage(
        int32_t helpId, const QString& name, const QString& category, const QString& message) override
    {
        ++calls;
        if (failAt > 0 && calls >= failAt)
            return -1;
        stored.append({ helpId, name, category, message });
        return 0;
    }
    // A sheet is one call: refused whole (nothing recorded) at failAt.
    int32_t AddCustomMessages(const QList<vtr_db::CustomMessageRecord>& records) override
    {
        ++calls;
        if (failAt > 0 && calls >= failAt)
            return -1;
        for (const vtr_db::CustomMessageRecord& r : records)
            stored.append({ r.helpId, r.ruleName, r.category, r.message });
        return 0;
    }
    void OnRulesListed() override { }
};
