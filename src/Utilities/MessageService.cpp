#include "Utilities/MessageService.h"

#include <cstdio>

namespace {
class StderrMessages : public IMessageService
{
public:
    MsgAnswer Show(const QString& text, const QString& caption, MsgIcon, MsgButtons buttons) override
    {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), qUtf8Printable(text));
        switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::OkCancel:
        case MsgButtons::YesNoCancel:
            return MsgAnswer::Cancel;
        case MsgButtons::YesNo:
            return MsgAnswer::No;
        }
        return MsgAnswer::Cancel;
    }
};

StderrMessages g_default;
IMessageService* g_service = nullptr;
} // namespace

IMessageService* GetMessageService()
{
    return g_service ? g_service : &g_default;
}

void SetMessageService(IMessageService* service)
{
    g_service = service;
}

MsgAnswer ShowMessage(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons)
{
    return GetMessageService()->Show(text, caption, icon, buttons);
}
