#include "app/gui/QuitOnSignal.h"

#include <QSocketNotifier>
#include <utility>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#define NORVO_HAVE_POSIX_SIGNALS 1
#endif

namespace norvo {

#ifdef NORVO_HAVE_POSIX_SIGNALS
namespace {

// Written by the handler, read on the GUI thread: the only thing a handler may safely do.
int g_signalPipe[2] = {-1, -1};
struct sigaction g_previousInt;
struct sigaction g_previousTerm;

void OnPosixSignal(int) {
    const char byte = 1;
    // Nothing to do when the pipe is full: a quit is already pending.
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

}  // namespace
#endif

QuitOnSignal::QuitOnSignal(std::function<void()> quit, QObject* parent)
    : QObject(parent), m_quit(std::move(quit)) {
#ifdef NORVO_HAVE_POSIX_SIGNALS
    if (g_signalPipe[0] != -1 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        return;
    }
    for (int fd : g_signalPipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    struct sigaction action = {};
    action.sa_handler = OnPosixSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_previousInt);
    ::sigaction(SIGTERM, &action, &g_previousTerm);
    m_notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitOnSignal::OnSignal);
#endif
}

QuitOnSignal::~QuitOnSignal() {
#ifdef NORVO_HAVE_POSIX_SIGNALS
    if (m_notifier == nullptr) {
        return;
    }
    ::sigaction(SIGINT, &g_previousInt, nullptr);
    ::sigaction(SIGTERM, &g_previousTerm, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
#endif
}

void QuitOnSignal::OnSignal() {
#ifdef NORVO_HAVE_POSIX_SIGNALS
    char bytes[16];
    while (::read(g_signalPipe[1], bytes, sizeof bytes) > 0) {
    }
#endif
    if (m_quit) {
        m_quit();
    }
}

}  // namespace norvo
