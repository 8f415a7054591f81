#include <gtest/gtest.h>

#include "external/ObjectError.h"
#include "external/clsShIntegration.h"
#include "support/TestEnvironment.h"

using namespace gv;

TEST(ShIntegration, CleansPageTitles) {
    struct Case {
        QString title;
        int browser;
        QString marker;
        QString cleaned;
    };
    const QList<Case> cases = {
        {QStringLiteral(u"Photos — Mozilla Firefox"), 1, "", "Photos"},
        {"Photos - Mozilla Firefox", 1, "", "Photos"},
        {QStringLiteral(u"Photos — Mozilla Firefox Private Browsing"), 1, "", "Photos"},
        {"Photos - Mozilla Firefox 2", 1, "", "Photos"},
        {"3. Gallery 12 - Chromium", 2, "", "Gallery 12"},
        {"Art - Google Chrome", 2, "", "Art"},
        {"Opera - Pics", 3, "Opera", "Pics"},
        {"Pics - opera", 3, "Opera", "Pics "},
        {"Just a page", 3, "Opera", "Just a page"},
        {"", 1, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cleanPageTitle(c.title, c.browser, c.marker), c.cleaned) << c.title.toStdString();
    }
}

TEST(ShIntegration, FindsTheFirstBrowserWindowWithAnAddress) {
    const QList<DesktopWindow> windows = {{1, "Notes - Editor", 10},
                                          {2, "Blank - Mozilla Firefox", 11},
                                          {3, "Photos - Mozilla Firefox", 12},
                                          {4, "News - Chromium", 13}};
    clsShIntegration shell([&] { return windows; },
                           [](const DesktopWindow& w) {
                               return w.id == 2 ? QString() : QStringLiteral("http://%1").arg(w.id);
                           });
    EXPECT_EQ(shell.URL("", 1), "http://3");
    EXPECT_EQ(shell.PageTtl(), "Photos");
    EXPECT_EQ(shell.URL("", 2), "http://4");
    EXPECT_EQ(shell.URL("Opera", 3), "");
    EXPECT_THROW(shell.URL("", 0), ObjectError);
    EXPECT_THROW(shell.URL("", 3), ObjectError);
}

TEST(ShIntegration, NumbersTheDefaultBrowser) {
    EXPECT_EQ(browserNumberOfEntry("firefox-esr.desktop"), 1);
    EXPECT_EQ(browserNumberOfEntry("org.chromium.Chromium.desktop"), 2);
    EXPECT_EQ(browserNumberOfEntry("epiphany.desktop"), 3);
}
