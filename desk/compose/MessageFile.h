#pragma once

#include "MailFields.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

/// Packet mail message files: their names, the plain mail record, and how
/// the received list tells mail from attachment messages.
///
/// A mail file holds one line per post: the four fields (To, Subject,
/// Message, From), each upper-cased and written as a code list, joined by
/// commas and ended by CR LF.
namespace MessageFile {

/// hh-mm-ss--MM-dd-yy, e.g. 14-05-09--12-07-26.
QString longStamp(const QDateTime &time);
/// hhmmss, e.g. 140509.
QString shortStamp(const QDateTime &time);

/// The composer's name: "MAIL - " + From text + "--" + long stamp + ".dat".
QString mailFileName(const QString &fromText, const QDateTime &time);
/// The reply's and the self-test's name: "MAIL - " + short stamp + ".txt".
QString replyFileName(const QDateTime &time);
/// The attachment composer's name: "File - " + long stamp + ".txt".
QString attachmentFileName(const QDateTime &time);

/// A mail field upper-cased within the code page: a character takes its
/// upper-case form only when the code page holds that form, so 'ÿ' becomes
/// 'Ÿ' while 'ß' and 'µ' stay as they are instead of turning into "SS" or
/// a '?'.
QString upperCase(const QString &field);

/// One mail record with its CR LF, as bytes: the four fields upper-cased,
/// each as a code list, joined by commas.
QByteArray mailRecordLine(const QString &to, const QString &subject, const QString &message, const QString &from);

/// The four decoded fields of a mail file's text; nothing when it holds
/// fewer than four comma-separated pieces.
std::optional<MailFields> parseMail(const QString &text);

enum class Kind { Mail, Attachment, Unrecognized };

/// "MAIL" in the name or content (any case) makes a mail, else "FILE" an
/// attachment message.
Kind classify(QByteArrayView content, const QString &fileName);

/// The file name part of a path, after its last separator of either kind.
QString fileNamePart(const QString &path);

/// A sender's attachment name reduced to a plain file name that cannot
/// leave the folder it is written into: separators, drive prefixes, ".."
/// and control characters go. Empty when nothing usable is left.
QString safeFileName(const QString &senderName);

} // namespace MessageFile
