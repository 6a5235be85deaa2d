#pragma once
// A private X server for the tests that read the screen back: Xvfb on the first free display,
// which it names itself, so that test programs run side by side never meet.

#include <QtGlobal>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class CXvfb {
public:
    CXvfb() = default;
    CXvfb(const CXvfb&) = delete;
    CXvfb& operator=(const CXvfb&) = delete;
    ~CXvfb() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    // Starts the server and points DISPLAY and Qt's platform at it; false, said on standard
    // error, when it cannot.
    bool Start() {
        int fds[2];
        if (::pipe(fds) != 0)
            return Fail("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            const std::string strFd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", strFd.c_str(), "-screen", "0", "1280x1024x24",

                     "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        if (m_pid < 0)
            return ::close(fds[0]), Fail("fork");
        // The server writes its display number once it accepts connections.
        char szDisplay[16] = {};
        ssize_t nRead = 0;
        for (ssize_t n; nRead < ssize_t(sizeof szDisplay) - 1 &&
                        (n = ::read(fds[0], szDisplay + nRead, sizeof szDisplay - 1 - nRead)) > 0;)
            nRead += n;
        ::close(fds[0]);
        if (nRead <= 0)
            return Fail("Xvfb did not start");
        qputenv("DISPLAY", QByteArray(":") + QByteArray(szDisplay).trimmed());
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }

private:
    static bool Fail(const char* pszWhat) {
        std::fprintf(stderr, "cannot start a private X server: %s\n", pszWhat);
        return false;
    }
    pid_t m_pid = -1;
};
