#pragma once

#include <functional>

#include <QString>

// Longest password the program accepts when one is typed or given.
inline constexpr int kMaxPasswordLength = 190;

// The "Password" attribute for a password: the UTF-16LE code units of the
// password and its terminating zero in Base64 (CR LF after every 76
// characters), packed two bytes to a code unit, low byte first.
QString EncodePassword(const QString& password);
// The password an attribute holds. Accepts any text: bytes outside the
// Base64 alphabet are skipped and decoding stops at a zero byte.
QString DecodePassword(const QString& attribute);

// Asks the user for the password; false when the user cancelled.
using PasswordPrompt = std::function<bool(QString& typed)>;
// The prompt in force (the application installs one that shows CPasswordDlg).
// Without one, every question is answered with Cancel.
PasswordPrompt GetPasswordPrompt();
// Installs a prompt; an empty function restores the default.
void SetPasswordPrompt(PasswordPrompt prompt);

// Asks for a new password twice, in typed and repeated; false when the user
// cancelled.
using NewPasswordPrompt = std::function<bool(QString& typed, QString& repeated)>;
// The new-password prompt in force: the installed one, else the password
// prompt asked twice.
NewPasswordPrompt GetNewPasswordPrompt();
// Installs a new-password prompt; an empty function restores the default.
void SetNewPasswordPrompt(NewPasswordPrompt prompt);
// Whether a new password and its repetition can be used: one longer than
// kMaxPasswordLength, or two entries that differ, is refused with a message.
bool AcceptNewPassword(const QString& typed, const QString& repeated);
// Asks for a new password until both entries agree (each refusal said) and
// puts it in password; false when the user cancelled. A prompt that never
// agrees is given up after kNewPasswordAttempts tries, so nothing waits for ever.
bool AskNewPassword(QString& password, const NewPasswordPrompt& prompt = GetNewPasswordPrompt());
inline constexpr int kNewPasswordAttempts = 10;

// The check a save makes before it writes a protected file. An unprotected
// file passes without asking. Otherwise the user is asked; the typed text
// must equal recordPassword exactly (letter case counts). On success
// confirmed is set and confirmedPassword holds the password; on Cancel or a
// wrong password (after the message) confirmed is cleared and the result is false.
bool CheckPassword(bool passwordProtected, const QString& recordPassword, bool& confirmed, QString& confirmedPassword,
    const PasswordPrompt& prompt = GetPasswordPrompt());
