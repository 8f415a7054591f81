#pragma once
// The messages between the program and its decoding helper (Sandbox.h). The program sends a
// job as one packet on the helper's control socket: this header, then the job's own message,
// with two descriptors: the job's input (sealed shared memory) and the socket the answer goes
// to. The answer is one packet on that socket: the message, and at most one descriptor.

#include <QtGlobal>

namespace gv::sandbox {

inline constexpr quint32 kMagic = 0x47565342;  // "GVSB"
inline constexpr quint32 kVersion = 2;

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
};

}  // namespace gv::sandbox
