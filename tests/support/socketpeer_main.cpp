// A process at the other end of the single instance's socket, speaking its wire format by
// hand ('D' + 32-bit big-endian length + bytes; greeting and acknowledgement one byte each):
//   socketpeer [--uid N] flood SOCKET COUNT PREFIX [SUFFIX]  COUNT hand-overs of
//                                       PREFIX<n>SUFFIX in turn; prints how many were acknowledged
//   socketpeer [--uid N] send SOCKET TEXT            one hand-over: exit 0 acknowledged,
//                                                      3 closed unanswered
//   socketpeer hog SOCKET COUNT DECLARED SENT HOLDMS COUNT connections at once, each
//       announcing DECLARED bytes and sending SENT of them, held HOLDMS; prints "connected",
//       then how many the other end closed before that
//   socketpeer [--uid N] listen SOCKET OUTFILE [LOCKFILE]  stands in for an instance: writes a
//       lock naming itself, greets each connection, appends what it gets to OUTFILE,
//       acknowledges; runs until killed
// --uid drops to that user first (root only; exit 77 otherwise).

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

int connectTo(const char* path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    const timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    return fd;
}

std::string header(char kind, size_t length) {
    std::string h(1, kind);
    for (int shift = 24; shift >= 0; shift -= 8) {
        h += char((length >> shift) & 0xFF);
    }
    return h;
}

enum class Sent { Acknowledged, Unanswered, NoServer };

Sent handOver(const char* path, const std::string& text) {
    const int fd = connectTo(path);
    if (fd < 0) {
        return Sent::NoServer;
    }
    char byte = 0;
    Sent result = Sent::Unanswered;
    if (::read(fd, &byte, 1) == 1) {
        const std::string message = header('D', text.size()) + text;
        if (::send(fd, message.data(), message.size(), MSG_NOSIGNAL) == ssize_t(message.size()) &&
            ::read(fd, &byte, 1) == 1 && byte == 'K') {
            result = Sent::Acknowledged;
        }
    }
    ::close(fd);
    return result;
}

int flood(const char* path, int count, const std::string& prefix, const std::string& suffix) {
    int acknowledged = 0;
    for (int i = 0; i < count; ++i) {
        // A busy instance closes unanswered; a real sender tries again within its 5 s.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        Sent sent = Sent::Unanswered;
        while ((sent = handOver(path, prefix + std::to_string(i) + suffix)) == Sent::Unanswered &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (sent == Sent::NoServer) {
            break;  // the instance is gone
        }
        acknowledged += sent == Sent::Acknowledged;
    }
    std::printf("%d\n", acknowledged);
    return 0;
}

int hog(const char* path, int count, size_t declared, size_t sent, int holdMs) {
    const std::string head = header('D', declared);
    const std::string body(sent, 'x');
    struct Connection {
        int fd;
        size_t written;
        bool closed;
    };
    std::vector<Connection> connections;
    for (int i = 0; i < count; ++i) {
        const int fd = connectTo(path);
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
            connections.push_back({fd, 0, false});
        }
    }
    std::printf("connected %zu\n", connections.size());
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(holdMs);
    while (std::chrono::steady_clock::now() < end) {
        std::vector<pollfd> polls;
        for (const Connection& c : connections) {
            const bool more = c.written < head.size() + body.size();
            polls.push_back({c.closed ? -1 : c.fd, short(POLLIN | (more ? POLLOUT : 0)), 0});
        }
        if (::poll(polls.data(), polls.size(), 50) <= 0) {
            continue;
        }
        for (size_t i = 0; i < connections.size(); ++i) {
            Connection& c = connections[i];
            if (c.closed || !polls[i].revents) {
                continue;
            }
            char buffer[4096];
            if (polls[i].revents & POLLIN) {
                const ssize_t n = ::read(c.fd, buffer, sizeof buffer);
                c.closed = n == 0 || (n < 0 && errno != EAGAIN);
            }
            if (!c.closed && (polls[i].revents & POLLOUT)) {
                const std::string& part = c.written < head.size() ? head : body;
                const size_t offset = c.written < head.size() ? c.written : c.written - head.size();
                const ssize_t n = ::send(c.fd, part.data() + offset, part.size() - offset,
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                c.written += n > 0 ? size_t(n) : 0;
                c.closed = n < 0 && errno != EAGAIN;
            }
            c.closed = c.closed || (polls[i].revents & (POLLHUP | POLLERR));
        }
    }
    int closed = 0;
    for (const Connection& c : connections) {
        closed += c.closed;
        ::close(c.fd);
    }
    std::printf("closed %d\n", closed);
    return 0;
}

int listenAs(const char* path, const char* outFile, const char* lockFile) {
    if (lockFile) {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        const std::string info = std::to_string(::getpid()) + "\nglimvane\n" + host + "\n";
        const int fd = ::open(lockFile, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, info.data(), info.size()) != ssize_t(info.size())) {
            return 2;
        }
        ::close(fd);
    }
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    ::unlink(path);
    if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path, 0777) != 0 || ::listen(server, 16) != 0) {
        return 2;
    }
    const int out = ::open(outFile, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    std::printf("listening\n");
    std::fflush(stdout);
    for (;;) {
        const int fd = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const timeval wait{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        ::send(fd, "H", 1, MSG_NOSIGNAL);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
            (void)!::write(out, buffer, size_t(n));
            ::send(fd, "K", 1, MSG_NOSIGNAL);
        }
        ::close(fd);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int a = 1;
    if (a + 1 < argc && std::strcmp(argv[a], "--uid") == 0) {
        const auto uid = static_cast<uid_t>(std::atoi(argv[a + 1]));
        if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) {
            return 77;
        }
        a += 2;
    }
    const int left = argc - a;
    const std::string mode = left > 0 ? argv[a] : "";
    if (mode == "flood" && (left == 4 || left == 5)) {
        return flood(argv[a + 1], std::atoi(argv[a + 2]), argv[a + 3],
                     left == 5 ? argv[a + 4] : "");
    }
    if (mode == "send" && left == 3) {
        const Sent sent = handOver(argv[a + 1], argv[a + 2]);
        return sent == Sent::Acknowledged ? 0 : sent == Sent::Unanswered ? 3 : 4;
    }
    if (mode == "hog" && left == 6) {
        return hog(argv[a + 1], std::atoi(argv[a + 2]), std::strtoul(argv[a + 3], nullptr, 10),
                   std::strtoul(argv[a + 4], nullptr, 10), std::atoi(argv[a + 5]));
    }
    if (mode == "listen" && (left == 3 || left == 4)) {
        return listenAs(argv[a + 1], argv[a + 2], left == 4 ? argv[a + 3] : nullptr);
    }
    std::fprintf(stderr, "usage: see the head of socketpeer_main.cpp\n");
    return 2;
}
