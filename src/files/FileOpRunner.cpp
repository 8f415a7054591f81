#include "files/FileOpRunner.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <thread>

#include "files/FileOpProgress.h"
#include "platform/Dialogs.h"

namespace gv {
namespace {

// Asks on the user-interface thread and waits there for the answer.
class UiObserver final : public FileOpObserver {
public:
    UiObserver(QObject* ui, QWidget* owner) : m_ui(ui), m_owner(owner) {}
    QPointer<QWidget> progress;
    bool asking = false;  // a question is up: the progress window waits until it is answered

    ReplaceAnswer askReplace(const QString& question) override {
        MsgAnswer answer = MsgAnswer::Cancel;
        onUi([&] {
            answer = dialogs().message(question, MsgButtons::YesToAllNoCancel, MsgIcon::Question,
                                       QStringLiteral("Confirm File Replace"), owner());
        });
        switch (answer) {
            case MsgAnswer::Yes:
                return ReplaceAnswer::Yes;
            case MsgAnswer::YesToAll:
                return ReplaceAnswer::YesToAll;
            case MsgAnswer::No:
                return ReplaceAnswer::No;
            default:
                return ReplaceAnswer::Cancel;
        }
    }
    bool confirmDelete(const QString& question, const QString& title) override {
        MsgAnswer answer = MsgAnswer::No;
        onUi([&] {
            answer = dialogs().message(question, MsgButtons::YesNo, MsgIcon::Exclamation, title,
                                       owner());
        });
        return answer == MsgAnswer::Yes;
    }
    void showError(const QString& text, const QString& title) override {
        onUi([&] { dialogs().message(text, MsgButtons::Ok, MsgIcon::Critical, title, owner()); });
    }

private:
    QWidget* owner() const { return progress ? progress.data() : m_owner; }
    template <typename F>
    void onUi(F f) {
        QMetaObject::invokeMethod(
            m_ui,
            [&] {
                // A question gets the normal pointer, whatever the operation shows meanwhile.
                QApplication::setOverrideCursor(Qt::ArrowCursor);
                asking = true;
                f();
                asking = false;
                QApplication::restoreOverrideCursor();
            },
            Qt::BlockingQueuedConnection);
    }
    QObject* m_ui;
    QWidget* m_owner;
};

// Holds back the user's clicks, keys and shortcuts while the work runs and no window of the
// operation's own (progress, question) is up to take them; a close request waits too.
class InputHold final : public QObject {
public:
    InputHold() { qApp->installEventFilter(this); }
    ~InputHold() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
            case QEvent::Shortcut:
                break;
            case QEvent::ShortcutOverride:
                // Taken here, the key never reaches the shortcuts; its press is held below.
                if (QApplication::activeModalWidget() == nullptr && watched->isWidgetType()) {
                    event->accept();
                    return true;
                }
                return false;
            case QEvent::Close:
                if (QApplication::activeModalWidget() == nullptr && watched->isWidgetType()) {
                    event->ignore();
                    return true;
                }
                return false;
            default:
                return false;
        }
        return QApplication::activeModalWidget() == nullptr && watched->isWidgetType();
    }
};

}  // namespace

FileOpOutcome runFileOperation(const FileOpRequest& request, QWidget* owner) {
    QObject ui;
    UiObserver observer(&ui, owner);
    FileOpEngine engine(request, observer);
    FileOpOutcome outcome;
    QEventLoop loop;
    bool finished = false;
    const InputHold hold;
    std::unique_ptr<FileOpProgress> progress;
    QTimer update;
    update.setInterval(kProgressIntervalMs);
    QObject::connect(&update, &QTimer::timeout, &ui, [&] {
        if (progress) {
            progress->showStatus(engine.status());
        }
    });
    QTimer showProgress;
    showProgress.setSingleShot(true);
    showProgress.setInterval(kProgressDelayMs);
    if (!(request.flags & kFofSilent)) {
        QObject::connect(&showProgress, &QTimer::timeout, &ui, [&] {
            if (finished) {
                return;
            }
            if (observer.asking) {
                showProgress.start();
                return;
            }
            progress = std::make_unique<FileOpProgress>(request.kind, owner);
            observer.progress = progress.get();
            QObject::connect(progress.get(), &FileOpProgress::cancelRequested, &ui,
                             [&] { engine.cancel(); });
            progress->showStatus(engine.status());
            progress->show();
            QApplication::setOverrideCursor(Qt::ArrowCursor);
            update.start();
        });
        showProgress.start();
    }
    std::thread worker([&] {
        outcome = engine.run();
        QMetaObject::invokeMethod(
            &ui,
            [&] {
                finished = true;
                loop.quit();
            },
            Qt::QueuedConnection);
    });
    loop.exec();
    if (!finished) {
        // The loop was ended from outside (the program is closing): stop the work and wait
        // for it, answering what it still asks.
        engine.cancel();
        while (!finished) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    worker.join();
    update.stop();
    if (progress) {
        QApplication::restoreOverrideCursor();
    }
    return outcome;
}

}  // namespace gv
