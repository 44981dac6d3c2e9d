#pragma once

#include <functional>

class QObject;

// The event loop's watch on the ends of programs this process started, made with the notifier
// the system's signal of an end needs (CMake picks posix/ or win32/).
namespace ToolEndWatch {

// True where the end of a started program can wake an event loop.
bool Available();

// A notifier, owned by parent, that calls ended in the event loop whenever a started program has
// ended (its signal reset first); null where the system offers none.
QObject* Make(QObject* parent, std::function<void()> ended);

}  // namespace ToolEndWatch
