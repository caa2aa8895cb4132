#pragma once

#include "receive/MessageSearch.h"
#include "shell/Outcome.h"
#include "shell/SettingFiles.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

class QIODevice;

/// The stations this desk has dealt with, for completing the To boxes:
/// senders of received and saved mail, the addressees of mail written here,
/// and the portal's station list. Most recently used first; the station
/// list, which tells no time, after every station seen in mail.
///
/// Received and saved mail come from the message search as it stands (see
/// `noteSenders`), so a deleted message takes its sender along. Mail written here leaves no
/// trace of its own (the outbox is emptied whenever a composer opens), so
/// its addressees are kept in a small file of ours beside the settings.
class AddressBook
{
public:
    /// Our file of addressees, one record (callsign, time in UTC) per line.
    static constexpr SettingFile sentFile{"addressbook.dat", PathForm::Separated};
    /// How many addressees that file keeps, the most recent.
    static constexpr int sentLimit = 500;
    /// The longest callsign taken from any text.
    static constexpr int callsignLimit = 20;

    /// Notes a callsign used at `when`; the latest use counts.
    void note(const QString &callsign, const QDateTime &when);
    /// Notes a callsign that tells no time, after every dated one.
    void noteUndated(const QString &callsign);
    /// Every callsign once, most recent first, then the undated ones in the
    /// order noted.
    QStringList ranked() const;

    /// The callsigns of a To or From box's text, upper-cased, in order: its
    /// words that hold both a letter and a digit, after a leading "TO" or
    /// "FROM" label ("TO-", "To: ", "FROM- ").
    static QStringList callsignsIn(const QString &field);
    /// The callsigns of the portal's station list ("callsign - address"
    /// per line, in the code page); at most `sentLimit` of them.
    static QStringList stationListCallsigns(QIODevice &file);

    /// Where the portal keeps its station list: beside the desk (the two
    /// programs stand in one folder), beside the program itself when the
    /// settings lie elsewhere, and the portal's own per-user folder.
    static QStringList stationListPlaces(const SettingFiles &files);

    /// Everything the desk knows: our file, the senders in the save and
    /// receive folders, and the first station list of `stationLists` that
    /// exists. Unreadable sources are passed over: completion is a help.
    /// Reads every message: not for a screen's thread.
    static AddressBook gather(const SettingFiles &files, const QStringList &stationLists);

    /// What `gather` knows without reading any mail: our file and the first
    /// station list that exists. Both are small and bounded.
    static AddressBook gatherLists(const SettingFiles &files, const QStringList &stationLists);

    /// Notes the senders of these messages, each at its message's date.
    void noteSenders(const QList<MessageSearch::Message> &messages);
    /// Notes each callsign at its date, as `note` does.
    void noteAll(const QHash<QString, QDateTime> &dated);

    /// Each callsign of these messages' From boxes with the newest date it
    /// bears. `parsed` keeps each From text's callsigns from one call to the
    /// next, so an archive read again costs no parsing; it is left holding
    /// only the texts of these messages.
    static QHash<QString, QDateTime> senders(const QList<MessageSearch::Message> &messages,
                                             QHash<QString, QStringList> &parsed);

    /// Remembers the callsigns of a To box's text as used at `when`.
    static Outcome recordSent(const SettingFiles &files, const QString &toField, const QDateTime &when);

    /// The word being typed at the end of `text`: where it starts and what
    /// it is, a "TO" label in front of it left out. Empty when the text ends
    /// in a separator or a bare label.
    struct TypedWord {
        qsizetype start = 0;
        QString word;
    };
    static TypedWord typedWord(const QString &text);

private:
    static QHash<QString, QDateTime> readSent(const SettingFiles &files);

    QHash<QString, QDateTime> m_dated;
    QStringList m_undated;
};
