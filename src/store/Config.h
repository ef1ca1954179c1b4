#pragma once

#include "store/ConfigData.h"

#include <QString>

#include <functional>

// The data folder and the one settings record. Every file Sayri keeps lives
// directly in the data folder (~/.local/share/Sayri).
//
// The record is shared between threads: writers (main thread) change it
// through `edit`, readers on any thread take a copy with `shared()`.
namespace Config {

QString dataFolder();               // worked out afresh at every call, not created
QString file(const QString& name);  // location of `name` inside the data folder

ConfigData shared();                                        // a copy, safe from any thread
void edit(const std::function<void(ConfigData&)>& change);  // in place, under the lock
void replaceShared(const ConfigData& data);

// Data folder, default dictionary, settings. First thing at start-up.
void bootstrap();
// Writes the whole record to "config.json" through a temporary file, so the
// file holds the old or the new record, never a part. A file that did not
// decode at start-up is first kept beside it; while that copy cannot be made
// nothing is written. False (and a log line) when nothing was saved; the
// record in memory keeps the new values either way.
bool save();

// Characters of dictionary words that go into the recognition prompt.
inline constexpr int dictionaryBudget = 185;

extern const QString defaultDictionary;

}  // namespace Config
