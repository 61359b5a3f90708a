// Windows fit the screen's available area and come back where they were left.

#include "TestSupport.h"
#include "VtrWindowPlacement.h"

#include <gtest/gtest.h>

#include <QSettings>

namespace {
// A 1280 x 800 screen whose bottom 30 pixels a panel takes.
const QRect kScreen(0, 0, 1280, 770);
const QMargins kNoFrame(0, 0, 0, 0);
} // namespace

TEST(WindowPlacement, AWindowFitsTheAvailableArea)
{
    struct Case
    {
        const char* name;
        QRect wanted;
        QRect available;
        QMargins frame;
        QRect expected;
    };
    const Case cases[] = {
        { "fits as it is", QRect(40, 30, 800, 600), kScreen, kNoFrame, QRect(40, 30, 800, 600) },
        // The main window at its first size: its status bar was below the screen.
        { "too tall", QRect(0, 0, 1200, 800), kScreen, kNoFrame, QRect(0, 0, 1200, 770) },
        // The process map at 1,400 pixels: OK and Cancel were cut off.
        { "too wide", QRect(0, 0, 1400, 520), kScreen, kNoFrame, QRect(0, 0, 1280, 520) },
        { "the frame counts", QRect(0, 0, 1200, 800), kScreen, QMargins(4, 30, 4, 4),
            QRect(4, 30, 1200, 736) },
        { "moved back from off the right edge", QRect(1000, 100, 600, 400), kScreen, kNoFrame,
            QRect(680, 100, 600, 400) },
        { "moved back from above and left", QRect(-300, -50, 600, 400), kScreen, kNoFrame,
            QRect(0, 0, 600, 400) },
        { "a second screen to the right", QRect(1300, 50, 2000, 900), QRect(1280, 0, 1920, 1050), kNoFrame,
            QRect(1280, 50, 1920, 900) },
        { "no screen known: unchanged", QRect(10, 10, 3000, 3000), QRect(), kNoFrame, QRect(10, 10, 3000, 3000) },
        { "an empty window gets a pixel", QRect(10, 10, 0, 0), kScreen, kNoFrame, QRect(10, 10, 1, 1) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QRect fitted = VtrFitWindowRect(c.wanted, c.available, c.frame);
        EXPECT_EQ(fitted, c.expected);
        if (!c.available.isEmpty())
            EXPECT_TRUE(c.available.contains(fitted.marginsAdded(c.frame)));
    }
}

TEST(WindowPlacement, TheFirstPlaceIsCentredAndFitted)
{
    EXPECT_EQ(VtrCentredWindowRect(QSize(800, 600), kScreen, kNoFrame), QRect(240, 85, 800, 600));
    const QRect big = VtrCentredWindowRect(QSize(1200, 800), kScreen);
    EXPECT_TRUE(kScreen.contains(big.marginsAdded(kVtrAssumedWindowFrame)));
    EXPECT_EQ(big.width(), 1200);
}

TEST(WindowPlacement, APlaceIsStoredAndReadBackAndDamageIsIgnored)
{
    ScopedTestEnv env;
    QSettings settings(env.Path(QStringLiteral("profile.ini")), QSettings::IniFormat);
    EXPECT_FALSE(VtrLoadWindowPlace(settings, QStringLiteral("MainFrame")));
    VtrSaveWindowPlace(settings, QStringLiteral("MainFrame"), { QRect(50, 60, 900, 700), true });
    settings.sync();

    QSettings again(env.Path(QStringLiteral("profile.ini")), QSettings::IniFormat);
    const std::optional<VtrWindowPlace> place = VtrLoadWindowPlace(again, QStringLiteral("MainFrame"));
    ASSERT_TRUE(place);
    EXPECT_EQ(place->geometry, QRect(50, 60, 900, 700));
    EXPECT_TRUE(place->maximized);
    // Each window its own place.
    EXPECT_FALSE(VtrLoadWindowPlace(again, QStringLiteral("Thread Data")));

    const struct
    {
        const char* name;
        QVariant value;
    } damaged[] = {
        { "text", QStringLiteral("not a rectangle") },
        { "empty", QRect(10, 10, 0, 0) },
        { "absurd", QRect(0, 0, 1 << 24, 100) },
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.name);
        again.setValue(QStringLiteral("Windows/Broken/Geometry"), d.value);
        EXPECT_FALSE(VtrLoadWindowPlace(again, QStringLiteral("Broken")));
    }
}
