// GoogleTest under the i686 release's runtime (mingw-w64's win32 thread model, the Windows XP
// one), which has no std::mutex or std::condition_variable: GoogleTest's own threads wait on a
// Notification made of them, so it gets one made of a Windows event instead. Elsewhere this
// adds nothing.
#pragma once

#include <mutex> // tells whether the runtime has threads

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#define NOSERVICE
#include <windows.h>

namespace testing::internal {

class Notification {
  public:
    Notification() : Event(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(Event); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(Event); }
    void WaitForNotification() { WaitForSingleObject(Event, INFINITE); }

  private:
    HANDLE Event;
};

} // namespace testing::internal

#define GTEST_HAS_NOTIFICATION_ 1
#endif
