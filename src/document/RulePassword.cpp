#include "document/RulePassword.h"

#include "Utilities/MessageService.h"

#include <cstdint>
#include <vector>

#include <QByteArray>

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kLineLength = 76;

PasswordPrompt& InstalledPrompt()
{
    static PasswordPrompt prompt;
    return prompt;
}

NewPasswordPrompt& InstalledNewPrompt()
{
    static NewPasswordPrompt prompt;
    return prompt;
}

// Value of a Base64 character, or -1 for anything outside the alphabet.
int Base64Value(uint8_t c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

QByteArray Base64WithLineBreaks(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve((bytes.size() + 2) / 3 * 4 * 78 / 76 + 4);
    int column = 0;
    auto put = [&](char c) {
        if (column == kLineLength) {
            out.append("\r\n");
            column = 0;
        }
        out.append(c);
        ++column;
    };
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    for (; i + 2 < n; i += 3) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put(kAlphabet[v & 63]);
    }
    if (n - i == 1) {
        const uint32_t v = uint32_t(data[i]) << 16;
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put('=');
        put('=');
    } else if (n - i == 2) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8);
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put('=');
    }
    return out;
}
} // namespace

QString EncodePassword(const QString& password)
{
    // The password's own UTF-16LE code units, terminator included.
    QByteArray bytes;
    bytes.reserve((password.size() + 1) * 2);
    for (QChar c : password) {
        bytes.append(static_cast<char>(c.unicode() & 0xff));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    bytes.append('\0');
    bytes.append('\0');

    const QByteArray text = Base64WithLineBreaks(bytes);
    // Base64 output comes in groups of four and line breaks in pairs, so the
    // length is always even.
    QString attribute;
    attribute.reserve(text.size() / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2)
        attribute.append(QChar(static_cast<char16_t>(uint8_t(text[i]) | (uint8_t(text[i + 1]) << 8))));
    return attribute;
}

QString DecodePassword(const QString& attribute)
{
    std::vector<uint8_t> decoded;
    decoded.reserve(static_cast<size_t>(attribute.size()) * 2 * 3 / 4 + 3);
    uint32_t group = 0;
    int filled = 0;
    auto flush = [&] {
        // Up to four characters give up to three bytes; one alone gives none.
        if (filled >= 2)
            decoded.push_back(static_cast<uint8_t>(group >> 16));
        if (filled >= 3)
            decoded.push_back(static_cast<uint8_t>(group >> 8));
        if (filled == 4)
            decoded.push_back(static_cast<uint8_t>(group));
        group = 0;
        filled = 0;
    };
    bool stop = false;
    for (qsizetype i = 0; i < attribute.size() && !stop; ++i) {
        const char16_t unit = attribute[i].unicode();
        for (uint8_t byte : { uint8_t(unit & 0xff), uint8_t(unit >> 8) }) {
            if (byte == 0) {
                stop = true;
                break;
            }
            const int v = Base64Value(byte);
            if (v < 0)
                continue;
            group |= uint32_t(v) << (18 - 6 * filled);
            if (++filled == 4)
                flush();
        }
    }
    flush();

    QString password;
    for (size_t i = 0; i + 1 < decoded.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(decoded[i] | (decoded[i + 1] << 8));
        if (unit == 0)
            break;
        password.append(QChar(unit));
    }
    return password;
}

PasswordPrompt GetPasswordPrompt()
{
    if (InstalledPrompt())
        return InstalledPrompt();
    return [](QString&) { return false; };
}

void SetPasswordPrompt(PasswordPrompt prompt)
{
    InstalledPrompt() = std::move(prompt);
}

NewPasswordPrompt GetNewPasswordPrompt()
{
    if (InstalledNewPrompt())
        return InstalledNewPrompt();
    return [](QString& typed, QString& repeated) {
        const PasswordPrompt ask = GetPasswordPrompt();
        return ask(typed) && ask(repeated);
    };
}

void SetNewPasswordPrompt(NewPasswordPrompt prompt)
{
    InstalledNewPrompt() = std::move(prompt);
}

bool AcceptNewPassword(const QString& typed, const QString& repeated)
{
    if (typed.size() > kMaxPasswordLength) {
        ShowMessage(QStringLiteral("The password is too long: use at most %1 characters.").arg(kMaxPasswordLength),
            QStringLiteral("VTRPro"), MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    // A typing mistake in a password nobody can see would leave a file that
    // nobody can save.
    if (typed != repeated) {
        ShowMessage(QStringLiteral("The two passwords are not the same. Type the password again in both fields."),
            QStringLiteral("VTRPro"), MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    return true;
}

bool AskNewPassword(QString& password, const NewPasswordPrompt& prompt)
{
    for (int attempt = 0; prompt && attempt < kNewPasswordAttempts; ++attempt) {
        QString typed;
        QString repeated;
        if (!prompt(typed, repeated))
            return false;
        if (AcceptNewPassword(typed, repeated)) {
            password = typed;
            return true;
        }
    }
    return false;
}

bool CheckPassword(bool passwordProtected, const QString& recordPassword, bool& confirmed, QString& confirmedPassword,
    const PasswordPrompt& prompt)
{
    if (!passwordProtected)
        return true;
    confirmed = true;
    QString typed;
    if (!prompt || !prompt(typed)) {
        confirmed = false;
        return false;
    }
    if (typed != recordPassword) {
        ShowMessage(QStringLiteral("Rule file is password protected...Wrong Password..."), QStringLiteral("VTRPro"),
            MsgIcon::Warning, MsgButtons::Ok);
        confirmed = false;
        return false;
    }
    confirmedPassword = typed;
    return true;
}
