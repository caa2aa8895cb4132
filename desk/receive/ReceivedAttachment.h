#pragma once

#include "compose/AttachmentStream.h"
#include "shell/Outcome.h"

#include <QFile>

class SettingFiles;

/// The file steps of receiving an attachment message, apart from any
/// screen: reading the message's texts, choosing where the attached file
/// may land in the program's folder, writing it there whole, and copying
/// it elsewhere on the operator's word.
///
/// A received file never replaces a program, a setting file or an
/// executable, is never written through a link, appears under its name
/// complete or not at all, and carries no execute permission.
class ReceivedAttachment
{
public:
    /// `messagePath` is the hand-over file; `files` tells the program's
    /// folder and where the setting files lie.
    ReceivedAttachment(const QString &messagePath, const SettingFiles &files);

    /// Opens the message and reads its texts and the sender's file name.
    /// A failure says why; `isFormatError()` tells the one failure whose
    /// words are shown to the operator as they stand.
    Result<AttachmentHeader> readHeader();
    bool isFormatError() const { return m_reader.isFormatError(); }

    /// Where the sender's file name lands in the program's folder, or why
    /// no file is written under that name.
    Result<QString> targetFor(const QString &senderName) const;

    /// Writes the attached bytes to `target` (from `targetFor`), whole or
    /// not at all, without execute permission.
    Outcome writeData(const QString &target, const ProgressCallback &progress = {});

    /// Known once the data is written; see AttachmentStream::Reader.
    bool hasMoreEntries() const { return m_reader.hasMoreEntries(); }
    bool endIsUncertain() const { return m_reader.endIsUncertain(); }

    /// A regular file with at least one byte that can be read.
    static bool hasContent(const QString &path);
    /// Copies `source` whole to `destination`, in pieces; a failure names
    /// the file and the system's reason, and leaves `destination` as it was.
    static Outcome copyWhole(const QString &source, const QString &destination);

private:
    QFile m_message;
    const SettingFiles &m_files;
    AttachmentStream::Reader m_reader;
};
