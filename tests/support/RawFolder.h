#pragma once
// A private folder for tests of folder reading: files, folders and links are made by their
// stored (byte) names, so that names which are not valid UTF-8 can be tested too.

#include <QFile>
#include <QTemporaryDir>
#include <string>

#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TestEnvironment.h"

namespace gvtest {

// A private folder. Its files are removed here by their stored names: QTemporaryDir cannot
// remove names that are not UTF-8.
class RawFolder {
public:
    RawFolder() : m_dir(testFolders().root + QStringLiteral("/folder-XXXXXX")) {}

    ~RawFolder() {
        const auto removeEntry = [](const char* path, const struct stat*, int, FTW* where) {
            if (where->level > 0) {
                ::remove(path);
            }
            return 0;
        };
        ::nftw(at("").c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    RawFolder(const RawFolder&) = delete;
    RawFolder& operator=(const RawFolder&) = delete;

    QString path() const { return m_dir.path(); }
    std::string at(const std::string& name) const {
        return QFile::encodeName(m_dir.path()).toStdString() + '/' + name;
    }
    void file(const std::string& name) const {
        const int fd = ::open(at(name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << name;
        ::close(fd);
    }
    void folder(const std::string& name) const { ASSERT_EQ(::mkdir(at(name).c_str(), 0755), 0); }
    void link(const std::string& name, const std::string& target) const {
        ASSERT_EQ(::symlink(target.c_str(), at(name).c_str()), 0) << name;
    }

private:
    QTemporaryDir m_dir;
};

}  // namespace gvtest
