#include "app/gui/QuitOnSignal.h"

#include <utility>

#include "saori/StopSignals.h"

namespace norvo {

QuitOnSignal::QuitOnSignal(std::function<void()> quit, QObject* parent)
    : QObject(parent), m_quit(std::move(quit)), m_signals(std::make_unique<StopSignals>()) {
    if (!m_signals->IsActive()) {
        return;
    }
    connect(this, &QuitOnSignal::signalCaught, this, &QuitOnSignal::OnSignal, Qt::QueuedConnection);
    // Every signal quits again: closing is harmless twice, and a box the first one met may
    // have kept the window open.
    m_waiter = std::thread([this] {
        while (m_signals->Wait() == StopSignals::WaitEnd::Signal) {
            emit signalCaught();
        }
    });
}

void QuitOnSignal::OnSignal() {
    if (m_quit) {
        m_quit();
    }
}

QuitOnSignal::~QuitOnSignal() {
    if (m_waiter.joinable()) {
        m_signals->EndWaits();
        m_waiter.join();
    }
}

bool QuitOnSignal::IsActive() const {
    return m_signals->IsActive();
}

}  // namespace norvo
