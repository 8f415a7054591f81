#pragma once
// The messages between the program and its decoding helper (Sandbox.h). The program sends a
// job as one packet on the helper's control socket: this header, then the job's own message,
// with two descriptors: the job's input (sealed shared memory, or a file the program opened for
// reading) and the socket the answer goes to. The answer is one packet on that socket: the message,
// and at most one descriptor.

#include <sys/socket.h>

#include <QByteArrayView>
#include <QtGlobal>
#include <cerrno>
#include <cstring>

namespace gv::sandbox {

inline constexpr quint32 kMagic = 0x47565342;  // "GVSB"
inline constexpr quint32 kVersion = 4;

struct JobHeader {
    quint32 magic = kMagic;
    quint32 version = kVersion;
    qint64 extraAddressSpace = 0;
    qint32 cpuSeconds = 0;
    qint32 wallMs = 0;
    quint32 runsPrograms = 0;
    quint32 messageLength = 0;
    // The size of the memory the program's last answer came in: processes made ready after
    // this job hold that much, allocated, for their job's answer.
    qint64 answerMemoryHint = 0;
    // -1: the input is sealed shared memory. Otherwise it is a file opened for reading, of which
    // the job reads this many bytes (the size the program found) itself.
    qint64 inputFileSize = -1;
    // 1: the job reads that file as it goes, rather than being given it whole.
    quint32 inputReadAsItGoes = 0;
    quint32 reserved = 0;
};

// Sends one packet with two descriptors (a job's input and the socket its answer goes to);
// whether all of it went.
inline bool sendWithDescriptors(int socket, QByteArrayView packet, int first, int second,
                                int flags) {
    iovec iov{const_cast<char*>(packet.data()), std::size_t(packet.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(2 * sizeof(int));
    const int fds[2] = {first, second};
    std::memcpy(CMSG_DATA(c), fds, sizeof fds);
    ssize_t sent;
    do {
        sent = ::sendmsg(socket, &msg, flags);
    } while (sent < 0 && errno == EINTR);
    return sent == packet.size();
}

}  // namespace gv::sandbox
