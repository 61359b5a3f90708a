// Feeds arbitrary bytes to the rule file reader (with the shipped rule
// modules loaded as the program loads them), to the fingerprint check and to
// the password decoder.

#include "VtrLibrary.h"
#include "VtrRule.h"
#include "Utilities/MessageService.h"
#include "app/AppContext.h"
#include "document/FileDetails.h"
#include "document/Fingerprint.h"
#include "document/RuleFile.h"
#include "document/RulePassword.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

namespace {
class SilentMessages : public IMessageService
{
public:
    MsgAnswer Show(const QString&, const QString&, MsgIcon, MsgButtons) override { return MsgAnswer::Ok; }
};

struct Harness
{
    QTemporaryDir folder;
    SilentMessages messages;
    AppContext app;
    QHash<QString, PFN_DeleteRule> deleters;
    QString input;

    Harness()
    {
        const QString settings = folder.path() + QStringLiteral("/settings/");
        QDir().mkpath(settings);
        qputenv("VTRPRO_DATA_SETTINGS_DIR", settings.toLocal8Bit());
        qputenv("APPDATA", (folder.path() + QStringLiteral("/appdata")).toLocal8Bit());
        qputenv("VTR_PRO_DATABASE_DIR", (folder.path() + QStringLiteral("/db")).toLocal8Bit());
        qputenv("VTRPRO_MACHINE_ENVIRONMENT_FILE", (folder.path() + QStringLiteral("/environment")).toLocal8Bit());
        // Every rule read logs a line; millions of runs must not fill the disk.
        QFile::link(QStringLiteral("/dev/null"), settings + QStringLiteral("VTRPro.log"));
        SetMessageService(&messages);
        LoadAllModules(app.Modules());
        PtrArray& loaded = app.Modules().loadedRuleModules;
        for (int32_t i = 0; i < loaded.GetSize(); ++i) {
            void* handle = loaded.GetAt(i);
            deleters.insert(VtrLibrary::FileName(handle),
                reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule)));
        }
        if (loaded.GetSize() == 0)
            std::fprintf(stderr, "no rule module loaded; only the framework's own rules are exercised\n");
        input = folder.path() + QStringLiteral("/input.vtr");
    }

    void Release(CVtrRule* rule)
    {
        if (PFN_DeleteRule del = deleters.value(rule->GetModulePath())) {
            del(&rule);
            if (rule)
                __builtin_trap(); // DeleteRule must null the pointer
        } else {
            delete rule; // user-defined rules belong to the program
        }
    }
};

Harness& Get()
{
    static Harness harness;
    return harness;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Harness& h = Get();
    {
        QFile file(h.input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    CVTRFileDetails record;
    const bool read = ReadRuleFile(record, h.input);
    const FingerprintStatus status = VerifyRuleFileFingerprint(h.input);
    // The reader and the check agree on what is a rule file.
    if (read != (status != FingerprintStatus::Unreadable))
        __builtin_trap();
    // Protection is read exactly when the check finds something to check.
    if (read && record.passwordProtected != (status != FingerprintStatus::Unprotected))
        __builtin_trap();
    for (int32_t n = 1; n <= record.RuleCount(); ++n)
        if (record.RuleAt(n)->GetSequenceNumber() != n)
            __builtin_trap();
    for (CVtrRule* rule : record.Rules())
        h.Release(rule);
    record.ClearRules();

    // The decoder takes anything; encoding then decoding gives the password back.
    const QString units = QString::fromUtf16(reinterpret_cast<const char16_t*>(data), static_cast<qsizetype>(size / 2));
    (void)DecodePassword(units);
    QString password = units.left(kMaxPasswordLength);
    password.truncate(password.indexOf(QChar(0)) >= 0 ? password.indexOf(QChar(0)) : password.size());
    if (DecodePassword(EncodePassword(password)) != password)
        __builtin_trap();
    return 0;
}
