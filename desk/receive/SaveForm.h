#pragma once

#include "SearchCache.h"

#include <QWidget>

#include <memory>

struct DeskContext;
class QLineEdit;
class QLabel;
class QListWidget;
class QTreeWidget;

/// `saveform`: lists the archive of saved mail, deletes a file of it, and
/// opens one in the saved-message reader.
class SaveForm : public QWidget
{
    Q_OBJECT
public:
    explicit SaveForm(DeskContext &context);

    /// The desk's search of saved and received mail, made when there is none
    /// yet and set to the folders of the settings; it starts reading them at
    /// once in the background.
    static SearchCache &searchCache(DeskContext &context);

private:
    void refreshList();
    void pickFile();
    void openPicked(bool fromPathBox);
    void deletePicked();
    void exitToMainMenu();
    void search();
    void showFound(bool keepPicked);
    void openFound();
    /// Writes `record` to the reader's hand-over file and opens the reader;
    /// `cannotHand` (with %1 for the reason) says a failed write.
    void handToReader(const QByteArray &record, const QString &cannotHand);
    bool eventFilter(QObject *watched, QEvent *event) override;

    DeskContext &m_context;
    QString m_directory;
    QListWidget *m_list = nullptr;
    QLineEdit *m_path = nullptr;
    QLineEdit *m_searchBox = nullptr;
    QTreeWidget *m_results = nullptr;
    QLabel *m_searchStatus = nullptr;
    std::shared_ptr<SearchCache> m_search;
    QList<MessageSearch::Message> m_found;
};
