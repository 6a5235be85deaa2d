#include "engine/busguard.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <mutex>

namespace {
constexpr int kSlots = 4; // a job's two readers need one each, as does a dump's scan

// Plain data, so that the handler reads it without a thread-local initialiser running.
struct CThreadGuard {
    sigjmp_buf* pJump;
    uintptr_t first[kSlots];
    uintptr_t end[kSlots]; // 0: the slot is free
};

thread_local CThreadGuard t_guard __attribute__((tls_model("initial-exec")));

struct sigaction g_previous;
bool g_bInstalled = false;
std::once_flag g_installOnce;

// Not ours: whatever would have happened without this handler happens.
void PassOn(int nSignal, siginfo_t* pInfo, void* pContext) {
    if (g_previous.sa_flags & SA_SIGINFO) {
        g_previous.sa_sigaction(nSignal, pInfo, pContext);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(nSignal);
        return;
    }
    if (g_previous.sa_handler == SIG_IGN && pInfo->si_code <= 0)
        return; // sent by a process, and ignored as before
    signal(nSignal, SIG_DFL);
    // A fault repeats its access on return and now meets the default action; a signal some
    // process sent is sent again, and arrives as soon as the handler returns.
    if (pInfo->si_code <= 0)
        raise(nSignal);
}

void OnBus(int nSignal, siginfo_t* pInfo, void* pContext) {
    const auto nAddress = reinterpret_cast<uintptr_t>(pInfo->si_addr);
    // si_code > 0: raised by the kernel for an access, not sent by kill or raise.
    if (t_guard.pJump && pInfo->si_code > 0)
        for (int i = 0; i < kSlots; ++i)
            if (nAddress >= t_guard.first[i] && nAddress < t_guard.end[i])
                siglongjmp(*t_guard.pJump, 1);
    PassOn(nSignal, pInfo, pContext);
}
} // namespace

bool CBusGuard::Ready() {
    std::call_once(g_installOnce, [] {
        // The handler before ours is known before ours can run.
        struct sigaction action = {};
        if (sigaction(SIGBUS, nullptr, &g_previous) != 0)
            return;
        action.sa_sigaction = OnBus;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        g_bInstalled = sigaction(SIGBUS, &action, nullptr) == 0;
    });
    struct sigaction now = {};
    return g_bInstalled && sigaction(SIGBUS, nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) &&
           now.sa_sigaction == OnBus;
}

bool CBusGuard::Run(void (*pfnWork)(void*), void* pContext) {
    sigjmp_buf jump;
    // Without the signal mask, which would cost a system call per run: a jump leaves SIGBUS
    // blocked, as it is while its handler runs, and it is unblocked here instead.
    if (sigsetjmp(jump, 0) != 0) {
        t_guard.pJump = nullptr;
        sigset_t bus;
        sigemptyset(&bus);
        sigaddset(&bus, SIGBUS);
        pthread_sigmask(SIG_UNBLOCK, &bus, nullptr);
        return false;
    }
    t_guard.pJump = &jump;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    pfnWork(pContext);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guard.pJump = nullptr;
    return true;
}

bool CBusGuard::Cover(const void* pFirst, size_t nBytes) {
    for (int i = 0; i < kSlots; ++i) {
        if (t_guard.end[i] != 0)
            continue;
        t_guard.first[i] = reinterpret_cast<uintptr_t>(pFirst);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        t_guard.end[i] = t_guard.first[i] + nBytes;
        return true;
    }
    return false;
}

void CBusGuard::Uncover(const void* pFirst) {
    for (int i = 0; i < kSlots; ++i)
        if (t_guard.end[i] != 0 && t_guard.first[i] == reinterpret_cast<uintptr_t>(pFirst))
            t_guard.end[i] = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}
