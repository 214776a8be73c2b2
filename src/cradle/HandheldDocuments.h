#pragma once

#include <chrono>
#include <QString>
#include <QStringList>

namespace kv {

// The handheld file's side of an exchange. The file is the exchange's own copy of what the
// handheld sent, and untrusted: it is opened, limited and refused as a sync's handheld is
// (RunTimeError with the sync's numbers, the file left as it was).

// Makes a store at `storePath` with the store's tables and copies the handheld's document tables
// into it. The handheld must be device `device`'s (one that carries no number is taken as it).
void takeDocuments(const QString& handheldPath, const QString& storePath, qint32 device,
                   std::chrono::seconds workBudget);

// Makes the handheld's answer in its own file, in one transaction: every table the store fills
// becomes the store's, and the document tables lose the documents whose keys are in `inErp`
// (those the ERP holds now), keeping every other one.
void answerHandheld(const QString& handheldPath, const QString& storePath, const QStringList& inErp,
                    std::chrono::seconds workBudget);

} // namespace kv
