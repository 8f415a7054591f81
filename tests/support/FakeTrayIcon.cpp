#include "support/FakeTrayIcon.h"

namespace gvtest {
namespace {
std::unique_ptr<gv::TrayIcon> makeFake(QObject* parent) {
    return std::make_unique<FakeTrayIcon>(parent);
}
}  // namespace

ScopedFakeTray::ScopedFakeTray() {
    gv::setTrayIconFactory(&makeFake);
}

ScopedFakeTray::~ScopedFakeTray() {
    gv::setTrayIconFactory(nullptr);
}

}  // namespace gvtest
