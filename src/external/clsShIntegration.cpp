#include "external/clsShIntegration.h"

#include <QRegularExpression>

#include "external/ObjectError.h"
#include "platform/Accessibility.h"
#include "platform/DesktopSettings.h"

namespace gv {
namespace {

constexpr int kNeedBrowserNumber = kObjectErrorBase + 468;
constexpr int kNeedProgramName = kObjectErrorBase + 191;
constexpr int kNumberReach = 200;

bool readsAsNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$"));
    return number.match(text).hasMatch();
}

QString withoutTrailingNumber(const QString& t) {
    for (int k = 1; k <= kNumberReach && k <= t.size(); ++k) {
        if (!readsAsNumber(t.right(k))) {
            return t.left(t.size() - (k - 1));
        }
    }
    return t;
}

QString withoutLeadingNumber(const QString& t) {
    for (int k = 1; k <= kNumberReach && k <= t.size(); ++k) {
        if (!readsAsNumber(t.left(k))) {
            return t.mid(k - 1);
        }
    }
    return t;
}

QString cutSuffix(const QString& t, const QStringList& suffixes) {
    for (const QString& s : suffixes) {
        if (t.endsWith(s)) {
            return t.left(t.size() - s.size());
        }
    }
    return t;
}

}  // namespace

QString cleanPageTitle(const QString& title, int browserNo, const QString& marker) {
    if (title.isEmpty()) {
        return QString();
    }
    const QString t = withoutTrailingNumber(title);
    QString result;
    if (browserNo == 1) {
        result = cutSuffix(
            t, {QStringLiteral(" — Mozilla Firefox"), QStringLiteral(" - Mozilla Firefox")});
        result = cutSuffix(result, {QStringLiteral(" — Mozilla Firefox Private Browsing"),
                                    QStringLiteral(" - Mozilla Firefox Private Browsing")});
    } else if (browserNo == 2) {
        result = cutSuffix(t, {QStringLiteral(" - Chromium"), QStringLiteral(" - Google Chrome")});
    } else if (!marker.isEmpty() && t.startsWith(marker, Qt::CaseInsensitive)) {
        result = t.mid(marker.size()).trimmed();
        if (result.startsWith(u'-')) {
            result = result.mid(1).trimmed();
        }
    } else if (!marker.isEmpty() && t.endsWith(marker, Qt::CaseInsensitive)) {
        result = t.left(t.size() - marker.size()).trimmed();
        if (result.endsWith(u'-')) {
            result.chop(1);
        }
    }
    if (result.isEmpty()) {
        result = t;
    }
    return withoutLeadingNumber(result);
}

int browserNumberOfEntry(const QString& desktopEntry) {
    const QString e = desktopEntry.toLower();
    if (e.contains(QStringLiteral("firefox"))) {
        return 1;
    }
    if (e.contains(QStringLiteral("chromium")) || e.contains(QStringLiteral("chrome"))) {
        return 2;
    }
    return 3;
}

clsShIntegration::clsShIntegration()
    : clsShIntegration(topLevelWindows,
                       [](const DesktopWindow& w) { return accessibleEntryText(w.pid, w.title); }) {
}

clsShIntegration::clsShIntegration(WindowSource windows, AddressSource addresses)
    : m_windows(std::move(windows)), m_addresses(std::move(addresses)) {}

void clsShIntegration::Browser(const QString& BrowserName, int BrowseNo) {
    if (BrowseNo != 0) {
        m_browserNo = BrowseNo;
        m_markers = BrowseNo == 1 ? QStringList{QStringLiteral("Mozilla Firefox")}
                    : BrowseNo == 2
                        ? QStringList{QStringLiteral("Chromium"), QStringLiteral("Google Chrome")}
                        : QStringList{QString()};
        return;
    }
    if (BrowserName.contains(QStringLiteral("Firefox"), Qt::CaseInsensitive)) {
        Browser(QString(), 1);
    } else if (BrowserName.contains(QStringLiteral("Chrom"), Qt::CaseInsensitive)) {
        Browser(QString(), 2);
    } else {
        m_browserNo = 3;
        m_markers = {BrowserName};
    }
}

bool clsShIntegration::titleMatches(const QString& title) const {
    for (const QString& marker : m_markers) {
        if (!marker.isEmpty() && title.contains(marker, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

QString clsShIntegration::URL(const QString& BrowserName, int BrowseNo) {
    if (BrowserName.isEmpty() && BrowseNo == 0) {
        throw ObjectError{kNeedBrowserNumber, QStringLiteral("clsShIntegration"),
                          QStringLiteral("Need to specify Browser Number when program name not "
                                         "specified")};
    }
    if (BrowserName.isEmpty() && BrowseNo == 3) {
        throw ObjectError{kNeedProgramName, QStringLiteral("clsShIntegration"),
                          QStringLiteral("When browser unknown, need to specify program name!")};
    }
    if (BrowseNo == 0 || BrowseNo == 3) {
        Browser(BrowserName);
        m_markers = {BrowserName};
    } else {
        Browser(QString(), BrowseNo);
    }
    m_foundUrl.clear();
    m_foundTitle.clear();
    for (const DesktopWindow& w : m_windows()) {
        if (titleMatches(w.title)) {
            m_foundUrl = EditInfo(w);
            m_foundTitle = w.title;
            if (!m_foundUrl.isEmpty()) {
                break;
            }
        }
    }
    return m_foundUrl;
}

QString clsShIntegration::PageTtl() const {
    return cleanPageTitle(m_foundTitle, m_browserNo, m_markers.value(0));
}

QString clsShIntegration::EditInfo(const DesktopWindow& window) const {
    return m_addresses(window);
}

int clsShIntegration::DetectDefaultWebBrowser() {
    return browserNumberOfEntry(defaultWebBrowserEntry());
}

QList<DesktopWindow> clsShIntegration::ListProgs() const {
    return m_windows();
}

}  // namespace gv
