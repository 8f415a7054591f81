#pragma once
// The desktop's font configuration (fontconfig), read on a worker thread while the program
// connects to the display: reading it is the largest single cost of the first text drawn, and
// nothing before that text needs it.

#include <thread>

namespace gv {

class FontConfigReader final {
public:
    // Starts reading.
    FontConfigReader();
    // Waits for the reading, as wait() does.
    ~FontConfigReader();
    FontConfigReader(const FontConfigReader&) = delete;
    FontConfigReader& operator=(const FontConfigReader&) = delete;

    // Returns once the configuration has been read; call before the first text is drawn.
    void wait();

private:
    std::thread m_thread;
};

// Qt's list of the installed fonts, made on a second thread while the first window is built, so
// that it is ready for the window's first text. Create once the application object and the
// configuration above are there, and destroy before the application object (it waits for the
// thread).
class FontListAhead final {
public:
    FontListAhead();
    ~FontListAhead();
    FontListAhead(const FontListAhead&) = delete;
    FontListAhead& operator=(const FontListAhead&) = delete;

private:
    std::thread m_thread;
};

}  // namespace gv
