#pragma once

#include "compose/MessageFile.h"
#include "shell/Outcome.h"

#include <QFile>
#include <QList>
#include <QStringList>

/// The file steps of taking one message out of the receive folder, apart
/// from any screen: opening it (a regular file only), telling its kind,
/// taking the posts of one second that share it apart, writing each post
/// after the first beside it as a file of its own, and writing the first
/// one to the file that the reader or the receiver takes it from.
///
/// Every file written here appears whole or not at all, and the received
/// file itself is never changed or removed: it goes only once the screen
/// that handles its first post has it.
class ReceivedMessage
{
public:
    /// Posts of one second that share a file are few; a file claiming more
    /// is not spread over the receive folder.
    static constexpr qsizetype maxPosts = 100;

    /// One post to be written elsewhere: `bytes`, then the stretch of the
    /// received file from `start` to `end` (none when `start` is -1; `end`
    /// -1 is the end of the file), then `tail`.
    struct Post {
        QByteArray bytes;
        qint64 start = -1;
        qint64 end = -1;
        QByteArray tail;
    };

    explicit ReceivedMessage(const QString &path);

    const QString &path() const { return m_path; }

    /// Opens the file for reading when it is a regular file: a FIFO
    /// slipped in after the listing would hold the desk in its open.
    Outcome open();
    /// The open file holds no byte yet; it may still be arriving.
    bool isEmpty() const { return m_file.size() == 0; }

    /// The type word in `name` decides, as every composer names its files;
    /// the text is asked only for a name without one ("MAIL" anywhere makes
    /// a mail, else "FILE" an attachment message). A failure says why the
    /// text could not be read.
    Result<MessageFile::Kind> kind(const QString &name);

    /// Takes the file apart into its posts, read in pieces, never whole.
    /// Answers how many there are; none when a mail file holds no mail
    /// record. A failure says why the file is not taken apart.
    Result<qsizetype> takeApart(MessageFile::Kind kind);
    /// The mail file holds nothing but whole mail records.
    bool holdsOnlyMail() const { return m_onlyMail; }

    /// Writes every post after the first beside the file as "<name> (2).dat",
    /// "<name> (3).dat", ... (names not yet taken), each whole; when one
    /// cannot be written, none is left. Answers the paths written.
    Result<QStringList> writeOthersBeside();
    /// Removes the files `writeOthersBeside` wrote: until the first post is
    /// taken, the received file still holds every post.
    void removeOthers();

    /// Writes the first post whole to `target` (a mail with its closing
    /// CR LF), for the screen that shows or receives it.
    Outcome handOver(const QString &target);

    /// Lets go of the file, so that it can be moved to the trash.
    void close() { m_file.close(); }

private:
    Outcome writePost(const Post &post, QIODevice &out);

    QString m_path;
    QFile m_file;
    MessageFile::Kind m_kind = MessageFile::Kind::Unrecognized;
    QList<Post> m_posts;
    bool m_onlyMail = true;
    QStringList m_others;
};
