// Handles and callback types that the host hands to the library.
//
// The library was first written for Windows, where these are a mutex HANDLE,
// an HWND and two cdecl callbacks. On POSIX hosts the same slots take the
// stand-ins documented here; docs/hosts.md gives the whole host contract.
#pragma once

#include <cstdint>

extern "C" {

// A mutex owned by the host (MTAddNew). Background workers hold it while they
// join or leave the context of the thread that started them (the leaving
// comes after the completion callback), so it must outlive every worker;
// the host must not hold it while it waits for a worker. On POSIX it is the
// address of a pthread_mutex_t that the host has initialised (any type but
// PTHREAD_MUTEX_ERRORCHECK held by another thread works); on Windows the
// HANDLE of a mutex object (CreateMutex). The library only locks and unlocks
// it, never creates or destroys it. Null means "no mutex".
typedef void* MutexHandle;

// The POSIX stand-in for a window that receives progress messages. The library
// calls `procedure` synchronously, on the thread that reports the progress,
// with the registered message number ("MESSAGES_SMTP" is 0xC000 and
// "MESSAGES_POP" is 0xC001), the event code as wParam and the event's
// argument (a size, a percentage, an error identifier, or 0) as lParam.
struct ClientWindow {
  intptr_t (*procedure)(ClientWindow* window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam);
  void* hostData;  // for the host's own use; the library never touches it
};
typedef ClientWindow* WindowHandle;

// Progress callback: (event code, the event's argument: a size, a
// percentage, an error identifier, or 0), called synchronously on the thread
// doing the work, after the window. It may ask a worker to stop or suspend
// (the request returns at once there).
typedef void (*ProgressCallback)(uint32_t eventCode, uint32_t argument);

// Completion callback of a background operation: (user value, result 0 or 1),
// called on the worker's thread once its slot is free: it may start the next
// background operation of the context itself.
typedef void (*CompletionCallback)(uint32_t userValue, uint32_t result);

// OAuth 2 token callback (an extension): asked for a new access token for
// `user` after a server refused the one it had. It writes the token into
// `token` (room for `capacity` bytes) and answers its length; 0, or a length
// that does not fit below `capacity`, means "no new token".
typedef uint32_t (*OAuthTokenCallback)(const char* user, char* token, uint32_t capacity,
                                       uint32_t userValue);

}  // extern "C"
