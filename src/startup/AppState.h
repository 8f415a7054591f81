#pragma once
// Program-wide state: one object, owned by the application, read and written by the
// windows. Nothing else in the program keeps global state of its own.

#include <QString>
#include <memory>

namespace gv {

class InstanceLock;

struct AppState {
    // The whole command line of this start, consumed by ProcessCmdLine.
    QString pendingCommandLine;
    // The instance "mutex"; empty when not held.
    std::unique_ptr<InstanceLock> instanceLock;

    // The shown image.
    QString CurrentImagePath;
    bool ImageIsSaved = true;
    bool SuppressFileClick = false;
    bool PanelsCreated = false;
    int ImageWidthPx = 0;
    int ImageHeightPx = 0;
    int GifIs87a = 0;

    bool SingleImageMode = false;
    bool FavoriteSpelling = false;
    bool Animate87aGif = true;
    bool SecondaryWindowOpen = false;
    bool FullScreenActive = false;
};

AppState& appState();
// Tests start each case from a fresh state.
void resetAppState();

}  // namespace gv
