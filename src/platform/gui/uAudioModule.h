#pragma once
// Finds and opens the audio module once per process; a module that is missing
// or refused is looked for again at the next playback.

#include "platform/gui/uAudioEngineInterface.h"

#include <QString>
#include <memory>

// The folder holding zuvonote-audio.so; by default the program's own folder.
// Tests, whose executables live elsewhere, point it at the built program folder.
void SetAudioModuleFolder(const QString& folder);
[[nodiscard]] QString AudioModulePath();

// A new engine raising its events on `events`, or null with the reason.
[[nodiscard]] std::unique_ptr<TAudioEngine> CreateAudioEngine(TAudioEvents* events, QString* error);
