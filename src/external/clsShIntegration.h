#pragma once
// The desktop work of the Go menu: finding a web browser's window by its title, reading the
// address it shows, cleaning its title, and telling which browser the desktop opens pages
// with. Browser 1 is Firefox, 2 Chromium or Google Chrome, 3 a browser named by the caller.

#include <QString>
#include <QStringList>
#include <functional>

#include "platform/DesktopWindows.h"

namespace gv {

// The title with a trailing number, the browser's name and then a leading number removed,
// for the browser number and marker of the search that found it.
QString cleanPageTitle(const QString& title, int browserNo, const QString& marker);
// The browser number of a desktop entry named as the desktop's default web browser.
int browserNumberOfEntry(const QString& desktopEntry);

class clsShIntegration final {
public:
    // Where windows and their address fields come from (the desktop; tests give their own).
    using WindowSource = std::function<QList<DesktopWindow>()>;
    using AddressSource = std::function<QString(const DesktopWindow&)>;
    clsShIntegration();
    clsShIntegration(WindowSource windows, AddressSource addresses);

    // The address the first window of the browser shows, or "". Raises ObjectError when
    // neither a name nor a usable number is given.
    QString URL(const QString& BrowserName, int BrowseNo);
    // The cleaned title of the page the last URL call found.
    QString PageTtl() const;
    void Browser(const QString& BrowserName = QString(), int BrowseNo = 0);
    int BrowserNo() const { return m_browserNo; }
    // The text of the first non-empty entry field of the window, or "".
    QString EditInfo(const DesktopWindow& window) const;
    // 1, 2 or 3: the browser that the desktop opens web pages with.
    static int DetectDefaultWebBrowser();
    // The desktop's top-level windows.
    QList<DesktopWindow> ListProgs() const;

private:
    bool titleMatches(const QString& title) const;

    WindowSource m_windows;
    AddressSource m_addresses;
    int m_browserNo = 0;
    QStringList m_markers;  // the first is the one titles are cleaned with
    QString m_foundUrl;
    QString m_foundTitle;
};

}  // namespace gv
