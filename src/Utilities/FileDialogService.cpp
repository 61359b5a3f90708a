#include "Utilities/FileDialogService.h"

namespace {
class CancelAll : public IFileDialogService
{
public:
    int AskPath(bool, const QString&, const QString&, const QString&, const QString&, unsigned, const QString&,
                QString& chosen) override
    {
        chosen.clear();
        return 2;
    }
};

CancelAll g_default;
IFileDialogService* g_service = nullptr;
} // namespace

IFileDialogService* GetFileDialogService()
{
    return g_service ? g_service : &g_default;
}

void SetFileDialogService(IFileDialogService* service)
{
    g_service = service;
}
