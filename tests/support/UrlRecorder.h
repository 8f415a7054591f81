#pragma once
// Takes the place of the desktop's programs for the given URL schemes while it lives: the
// addresses the program opens are recorded, nothing is started.

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

namespace gvtest {

class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(const QStringList& schemes) : m_schemes(schemes) {
        for (const QString& scheme : m_schemes) {
            QDesktopServices::setUrlHandler(scheme, this, "open");
        }
    }
    ~UrlRecorder() override {
        for (const QString& scheme : m_schemes) {
            QDesktopServices::unsetUrlHandler(scheme);
        }
    }
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }

private:
    QStringList m_schemes;
};

}  // namespace gvtest
