// Password encoding and the save's password check.

#include "TestSupport.h"
#include "document/RulePassword.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(EncodePassword, AbcGivesTheSixCharactersOfTheBase64Text)
{
    const QString expected
        = QString(QChar(0x5159)) + QChar(0x6942) + QChar(0x4741) + QChar(0x414D) + QChar(0x4141) + QChar(0x3D41);
    EXPECT_EQ(EncodePassword(QStringLiteral("abc")), expected);
}

TEST(EncodePassword, EmptyPasswordEncodesItsTerminator)
{
    // Two zero bytes -> "AAA=" -> two code units.
    const QString expected = QString(QChar(0x4141)) + QChar(0x3D41);
    EXPECT_EQ(EncodePassword(QString()), expected);
    EXPECT_EQ(DecodePassword(expected), QString());
}

TEST(EncodePassword, LongPasswordBreaksLinesEvery76Characters)
{
    const QString password(100, QLatin1Char('x')); // 202 bytes -> 272 Base64 characters
    const QString attribute = EncodePassword(password);
    QByteArray text;
    for (QChar c : attribute) {
        text.append(static_cast<char>(c.unicode() & 0xff));
        text.append(static_cast<char>(c.unicode() >> 8));
    }
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_EQ(lines.size(), 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i].size(), 77) << i; // 76 characters and the CR
        EXPECT_TRUE(lines[i].endsWith('\r')) << i;
    }
    EXPECT_EQ(lines[3].size(), 272 - 3 * 76);
    EXPECT_FALSE(lines[3].endsWith('\r'));
    EXPECT_EQ(DecodePassword(attribute), password);
}

TEST(EncodePassword, RoundTripsAndKeepsCase)
{
    const QString cases[] = {
        QStringLiteral("abc"),
        QStringLiteral("ABC"),
        QStringLiteral("a"),
        QStringLiteral("ab"),
        QStringLiteral("pass word with blanks & <markup> \"quotes\""),
        QString::fromUtf8("Grüße €uro 日本"),
        QString(190, QLatin1Char('Z')),
    };
    for (const QString& password : cases)
        EXPECT_EQ(DecodePassword(EncodePassword(password)), password) << password.toStdString();
    EXPECT_NE(EncodePassword(QStringLiteral("abc")), EncodePassword(QStringLiteral("ABC")));
    EXPECT_NE(EncodePassword(QStringLiteral("abc")), EncodePassword(QStringLiteral("Abc")));
}

TEST(DecodePassword, NeverFailsOnDamagedText)
{
    struct Case
    {
        const char* what;
        QString attribute;
        QString expected;
    };
    const Case cases[] = {
        { "empty", QString(), QString() },
        { "one Base64 character gives no byte", QStringLiteral("Q"), QString() },
        // "YQBi" (bytes 61 00 62) packed, then a zero code unit stops decoding; the
        // odd trailing byte is no code unit.
        { "stops at a zero byte",
            QString(QChar(0x5159)) + QChar(0x6942) + QChar(0x0000) + QChar(0x4741) + QChar(0x414D),
            QStringLiteral("a") },
        { "skips characters outside the alphabet",
            QString(QChar(0x5159)) + QChar(0x2020) + QChar(0x6942) + QChar(0x4741) + QChar(0x414D) + QChar(0x4141)
                + QChar(0x3D41),
            QStringLiteral("abc") },
        { "odd byte count without terminator", QString(QChar(0x5759)) + QChar(0x6A4A), QString(QChar(0x6261)) },
        { "surrogates and symbols", QString(QChar(0xD800)) + QChar(0xFFFF) + QChar(0x00E9), QString() },
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodePassword(c.attribute), c.expected) << c.what;
}

TEST(CheckPassword, FollowsTheAnswerOfThePrompt)
{
    struct Case
    {
        const char* what;
        bool protectedFile;
        bool answer; // OK (true) or Cancel
        const char* typed;
        bool expectedResult;
        bool expectedConfirmed;
        bool expectedAsked;
        bool expectedMessage;
    };
    const Case cases[] = {
        { "unprotected passes without asking", false, false, "", true, false, false, false },
        { "cancel fails", true, false, "", false, false, true, false },
        { "right password passes", true, true, "Secret", true, true, true, false },
        { "other case is wrong", true, true, "secret", false, false, true, true },
        { "empty entry is wrong", true, true, "", false, false, true, true },
    };
    for (const Case& c : cases) {
        ScriptedMessages messages;
        bool asked = false;
        PasswordPrompt prompt = [&](QString& typed) {
            asked = true;
            typed = QString::fromUtf8(c.typed);
            return c.answer;
        };
        bool confirmed = false;
        QString confirmedPassword;
        const bool result
            = CheckPassword(c.protectedFile, QStringLiteral("Secret"), confirmed, confirmedPassword, prompt);
        EXPECT_EQ(result, c.expectedResult) << c.what;
        EXPECT_EQ(confirmed, c.expectedConfirmed) << c.what;
        EXPECT_EQ(asked, c.expectedAsked) << c.what;
        EXPECT_EQ(confirmedPassword, c.expectedConfirmed ? QStringLiteral("Secret") : QString()) << c.what;
        ASSERT_EQ(messages.shown.size(), c.expectedMessage ? 1u : 0u) << c.what;
        if (c.expectedMessage) {
            EXPECT_EQ(messages.shown[0].text, QStringLiteral("Rule file is password protected...Wrong Password..."));
        }
    }
}

TEST(CheckPassword, EmptyPasswordProtectsAndPassesWithEmptyEntry)
{
    bool confirmed = false;
    QString confirmedPassword = QStringLiteral("old");
    EXPECT_TRUE(CheckPassword(true, QString(), confirmed, confirmedPassword, [](QString& t) {
        t.clear();
        return true;
    }));
    EXPECT_TRUE(confirmed);
    EXPECT_TRUE(confirmedPassword.isEmpty());
}

TEST(CheckPassword, InstalledPromptIsUsedAndDefaultCancels)
{
    bool confirmed = true;
    QString confirmedPassword;
    SetPasswordPrompt({});
    EXPECT_FALSE(CheckPassword(true, QStringLiteral("x"), confirmed, confirmedPassword));
    EXPECT_FALSE(confirmed);

    SetPasswordPrompt([](QString& typed) {
        typed = QStringLiteral("x");
        return true;
    });
    EXPECT_TRUE(CheckPassword(true, QStringLiteral("x"), confirmed, confirmedPassword));
    EXPECT_TRUE(confirmed);
    SetPasswordPrompt({});
}

namespace {
// One answer of a new-password prompt: both entries, or a Cancel.
struct Entries
{
    const char* typed;
    const char* repeated;
    bool ok = true;
};

// A prompt that gives the entries in turn (Cancel when none is left) and counts the questions.
NewPasswordPrompt Scripted(std::vector<Entries> answers, int& asked)
{
    return [answers, &asked](QString& typed, QString& repeated) {
        if (asked >= static_cast<int>(answers.size()))
            return false;
        const Entries& e = answers[static_cast<size_t>(asked++)];
        typed = QString::fromUtf8(e.typed);
        repeated = QString::fromUtf8(e.repeated);
        return e.ok;
    };
}
} // namespace

TEST(AskNewPassword, AsksAgainUntilBothEntriesAgree)
{
    struct Case
    {
        const char* name;
        std::vector<Entries> answers;
        bool result;
        const char* password;
        int asked;
        int messages;
    };
    const Case cases[] = {
        { "equal at once", { { "Secret", "Secret" } }, true, "Secret", 1, 0 },
        { "empty twice", { { "", "" } }, true, "", 1, 0 },
        { "a typo, then equal", { { "Secret", "Secrte" }, { "Secret2", "Secret2" } }, true, "Secret2", 2, 1 },
        { "letter case differs", { { "abc", "ABC" }, { "abc", "abc" } }, true, "abc", 2, 1 },
        { "a typo, then Cancel", { { "Secret", "Secrte" }, { "", "", false } }, false, "", 2, 1 },
        { "Cancel at once", { { "", "", false } }, false, "", 1, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedMessages messages;
        int asked = 0;
        QString password;
        EXPECT_EQ(AskNewPassword(password, Scripted(c.answers, asked)), c.result);
        EXPECT_EQ(password, QString::fromUtf8(c.password));
        EXPECT_EQ(asked, c.asked);
        ASSERT_EQ(static_cast<int>(messages.shown.size()), c.messages);
        for (const ScriptedMessages::Shown& shown : messages.shown)
            EXPECT_TRUE(shown.text.contains(QStringLiteral("not the same"))) << shown.text.toStdString();
    }
}

TEST(AskNewPassword, RefusesAnOverLongPasswordAndGivesUpOnAPromptThatNeverAgrees)
{
    ScriptedMessages messages;
    const std::string tooLong(kMaxPasswordLength + 1, 'p');
    int asked = 0;
    QString password;
    EXPECT_FALSE(AskNewPassword(password, Scripted({ { tooLong.c_str(), tooLong.c_str() } }, asked)));
    ASSERT_EQ(messages.shown.size(), size_t(1));
    EXPECT_TRUE(messages.shown[0].text.contains(QString::number(kMaxPasswordLength)));

    asked = 0;
    const NewPasswordPrompt disagrees = [&asked](QString& typed, QString& repeated) {
        ++asked;
        typed = QStringLiteral("a");
        repeated = QStringLiteral("b");
        return true;
    };
    EXPECT_FALSE(AskNewPassword(password, disagrees));
    EXPECT_EQ(asked, kNewPasswordAttempts);
    EXPECT_TRUE(password.isEmpty());
}

TEST(AskNewPassword, WithoutANewPasswordPromptThePasswordPromptIsAskedTwice)
{
    ScriptedMessages messages;
    SetNewPasswordPrompt({});
    QStringList answers = { QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("two"),
        QStringLiteral("two") };
    SetPasswordPrompt([&answers](QString& typed) {
        if (answers.isEmpty())
            return false;
        typed = answers.takeFirst();
        return true;
    });
    QString password;
    EXPECT_TRUE(AskNewPassword(password));
    EXPECT_EQ(password, QStringLiteral("two"));
    EXPECT_TRUE(answers.isEmpty());
    EXPECT_EQ(messages.shown.size(), size_t(1));
    SetPasswordPrompt({});
}
