#pragma once

#include "consent.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace zorva::plugin::ui {

// A document's size as the user reads it: "15 bytes", "20.00 MiB".
QString sizeText(std::uint64_t size);

// The lists fit `width` pixels: a long name or subject is elided in its
// middle with the whole of it in the row's tooltip, and characters that
// change how it reads are shown as markers, the row with a warning icon.
// markedTexts() tells whether any row has one.

// One row per document: name, size and the start of its SHA-256.
QTreeWidget* documentList(const std::vector<crypto::ConsentDocument>& documents, int width);

// One row: the hash function and the start of the hash a site prepared.
QTreeWidget* hashList(const crypto::ConsentHash& hash);

// One row per certificate: subject (its common name first), issuer, valid
// until. Expired ones are shown but cannot be chosen. The page's choice is
// the current row when it can sign, else the first one that can.
QTreeWidget* certificateList(const std::vector<crypto::ConsentCertificate>& certificates,
                             const std::string& preselectedId, int width);

bool markedTexts(const QTreeWidget& list);

// The index in the request's certificates of a row of certificateList.
int certificateIndex(const QTreeWidgetItem& item);

}  // namespace zorva::plugin::ui
