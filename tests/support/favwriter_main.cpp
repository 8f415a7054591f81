// Adds favourites to the store of its $XDG_CONFIG_HOME, renaming the first one at every
// third step, until it is killed; prints each favourite's folder once it is stored.

#include <QCoreApplication>
#include <cstdio>

#include "favourites/FavouriteStore.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    gv::FavouriteStore store;
    store.LoadFavourites();
    for (int step = 0;; ++step) {
        const int n = int(store.favourites().size()) + 1;
        const QString folder = QStringLiteral("/pictures/%1/%2").arg(app.applicationPid()).arg(n);
        if (!store.AddFavourite(QStringLiteral("Favourite %1 %2").arg(app.applicationPid()).arg(n),
                                folder)) {
            return 1;
        }
        std::printf("%s\n", qPrintable(folder));
        std::fflush(stdout);
        if (step % 3 == 2) {
            const gv::Favourite first = store.favourites().first();
            store.RenameFavourite(
                first.name, first.folder,
                QStringLiteral("Renamed %1 %2").arg(app.applicationPid()).arg(step));
        }
    }
}
