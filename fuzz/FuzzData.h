#pragma once

// What every fuzz target shares: a data folder of its own, the input as text,
// and a stop for an input that breaks a promise of the code under test.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace FuzzData {

// Points the data folder (~/.local/share/Sayri) at a fresh temporary folder
// for the rest of the process. Call once, before anything reads it.
void useScratchDataFolder();
// Replaces a file of the data folder, or removes it when `bytes` is null.
void writeDataFile(const QString& name, const QByteArray& bytes);

QByteArray bytes(const uint8_t* data, size_t size);
QString text(const uint8_t* data, size_t size);  // UTF-8, invalid bytes replaced

// Reports a broken promise and aborts, so that libFuzzer keeps the input.
[[noreturn]] void fail(const char* promise, const QString& detail = {});

}  // namespace FuzzData
