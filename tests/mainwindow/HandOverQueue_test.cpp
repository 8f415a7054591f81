#include <gtest/gtest.h>

#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <functional>

#include "mainwindow/HandOverQueue.h"
#include "support/X11Helpers.h"

using namespace gv;
using gvtest::waitFor;

TEST(HandOverQueue, HandsOverOneAtATimeInOrderNeverInsideAQuestionItAsked) {
    QList<QByteArray> handled;
    int depth = 0;
    int deepest = 0;
    std::function<void(const QByteArray&)> handle;
    HandOverQueue queue([&](const QByteArray& bytes) { handle(bytes); }, [] { return true; });
    handle = [&](const QByteArray& bytes) {
        deepest = std::max(deepest, ++depth);
        handled << bytes;
        if (bytes == "asks") {
            // A question runs a loop of its own; more hand-overs come while it is open.
            QEventLoop question;
            QTimer::singleShot(0, &question, [&] {
                queue.push("during 1");
                queue.push("during 2");
                QTimer::singleShot(0, &question, &QEventLoop::quit);
            });
            question.exec();
            EXPECT_EQ(handled.size(), 2) << "a hand-over was taken inside the question";
        }
        --depth;
    };
    for (const char* bytes : {"first", "asks", "last"}) {
        queue.push(bytes);
    }
    EXPECT_TRUE(handled.isEmpty()) << "handled inside push()";
    ASSERT_TRUE(waitFor([&] { return handled.size() == 5; }, 5000));
    EXPECT_EQ(handled, (QList<QByteArray>{"first", "asks", "last", "during 1", "during 2"}));
    EXPECT_EQ(deepest, 1);
}

TEST(HandOverQueue, WaitsWhileAModalWindowOrAnotherLoopIsOpen) {
    struct Case {
        const char* what;
        std::function<void(const std::function<void()>& whileOpen)> open;
    };
    const Case cases[] = {
        {"a modal window",
         [](const std::function<void()>& whileOpen) {
             QDialog dialog;
             dialog.setModal(true);
             dialog.show();
             whileOpen();
         }},
        {"a loop of other code (a file operation)",
         [](const std::function<void()>& whileOpen) {
             QEventLoop loop;
             QTimer::singleShot(0, &loop, [&] {
                 whileOpen();
                 loop.quit();
             });
             loop.exec();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QList<QByteArray> handled;
        HandOverQueue queue([&](const QByteArray& bytes) { handled << bytes; },
                            [] { return true; });
        // Inside a loop that stands for the program's own.
        QEventLoop program;
        QTimer::singleShot(0, &program, [&] {
            c.open([&] {
                queue.push("waits");
                // Long enough for the queue to have looked more than once.
                EXPECT_FALSE(waitFor([&] { return !handled.isEmpty(); }, 300));
            });
            program.quit();
        });
        program.exec();
        EXPECT_TRUE(waitFor([&] { return handled == QList<QByteArray>{"waits"}; }, 2000));
    }
}

TEST(HandOverQueue, WaitsForTheReceiverAndLetsTheOldestGoInAFlood) {
    QList<QByteArray> handled;
    bool ready = false;
    HandOverQueue queue([&](const QByteArray& bytes) { handled << bytes; }, [&] { return ready; });
    const int pushed = HandOverQueue::kMaxWaiting + 40;
    for (int i = 0; i < pushed; ++i) {
        queue.push(QByteArray::number(i));
    }
    EXPECT_FALSE(waitFor([&] { return !handled.isEmpty(); }, 100));
    EXPECT_EQ(queue.waiting(), HandOverQueue::kMaxWaiting);
    ready = true;
    queue.resume();
    ASSERT_TRUE(waitFor([&] { return queue.waiting() == 0; }, 5000));
    EXPECT_EQ(handled.first(), "40");
    EXPECT_EQ(handled.last(), QByteArray::number(pushed - 1));
    // A few long command lines fill it by size before number.
    ready = false;
    handled.clear();
    for (int i = 0; i < 20; ++i) {
        queue.push(QByteArray(64 * 1024, char('a' + i)));
    }
    EXPECT_EQ(queue.waiting(), HandOverQueue::kMaxWaitingBytes / (64 * 1024));
}
