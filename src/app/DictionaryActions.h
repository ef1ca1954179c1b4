#pragma once

#include "app/AppServices.h"
#include "store/Dictionary.h"

#include <QDateTime>
#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>
#include <mutex>
#include <optional>

class Notices;
class SerialQueue;

// The dictionary actions of the settings window: adding words through a small
// dialog, importing a CSV word list after showing what it adds (and putting
// the dictionary back as it was before it), re-applying the dictionary file
// and copying the request text for a chat assistant. Every change restarts
// the recognition server on the pipeline queue; the next dictation uses it. A
// change that cannot be written is said in its dialog, which stays open. It
// also remembers which version of the dictionary file the server was given.
class DictionaryActions : public QObject {
    Q_OBJECT
public:
    DictionaryActions(AppServices& services, SerialQueue& pipeline, Notices& notices);
    ~DictionaryActions() override;

    void addDictWord();
    void importDictCSV();
    // Whether the last import can be taken back: the file is still what it wrote.
    bool importUndoable() const;
    void undoImport();
    void reloadDictionary();
    void copyDictionaryRequest();
    // The open dialog of addDictWord or importDictCSV, if any.
    QDialog* dialog() const { return dialog_; }

    // The dictionary file's modification time, if it exists.
    static std::optional<QDateTime> dictionaryMtime();
    // The modification time of the file the server was last given; any thread.
    std::optional<QDateTime> lastAppliedDictMtime() const;
    void setLastAppliedDictMtime(std::optional<QDateTime> mtime);

Q_SIGNALS:
    void written();  // "dictionary.txt" was changed here

private:
    bool raiseOpenDialog();
    // "" when done (or nothing to do), else why not, for the dialog to show.
    QString addWords(const QString& surface, const QString& reading);
    void confirmImport(const QString& path);
    QString importWords(const Config::CSVWords& csv);
    // Restarts the server with the dictionary on the pipeline queue, then
    // flashes the message `result` makes at that moment.
    void applyDictionary(std::function<QString()> result, double seconds);
    void flash(const QString& text, double seconds);

    AppServices& s_;
    SerialQueue& pipeline_;
    Notices& notices_;
    QPointer<QDialog> dialog_;
    std::optional<QByteArray> imported_;  // the file as the last import left it
    mutable std::mutex mtimeMutex_;
    std::optional<QDateTime> lastAppliedDictMtime_;
};
