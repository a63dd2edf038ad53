#pragma once
// The lock the library's shared code takes: platform::Mutex, with
// std::mutex's lock, try_lock and unlock, so that std::lock_guard,
// std::unique_lock and std::scoped_lock hold it. A Mutex is constant-
// initialised and needs no destruction work, so it can be a namespace-scope
// static without any start-up order or guard.
//
// Each system defines it in its own folder's system_mutex.h: the standard
// one where the C++ runtime's threads support is the system's own, the
// system's lock on Windows, whose DLL carries no threads runtime (a runtime
// that keeps records of the threads that took a lock cannot be unloaded
// cleanly).
#include <mutex>  // std::lock_guard, std::unique_lock, std::scoped_lock

#include "system_mutex.h"
