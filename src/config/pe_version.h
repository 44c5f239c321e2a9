#pragma once
// The fixed file version in the version resource of a Windows executable or library.

#include <QString>
#include <array>

/// The two 32-bit file-version words (most, then least significant) of a PE file's version
/// resource. False when the file is no PE file or has no version resource with fixed information.
bool ReadPeFileVersion(const QString& fileName, std::array<quint32, 2>& fileVersion);
