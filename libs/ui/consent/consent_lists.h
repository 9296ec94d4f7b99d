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

// One row per document: name, size and the start of its SHA-256.
QTreeWidget* documentList(const std::vector<crypto::ConsentDocument>& documents);

// One row per certificate: subject, issuer, valid until. Expired ones are
// shown but cannot be chosen. The page's choice is the current row when it
// can sign, else the first one that can.
QTreeWidget* certificateList(const std::vector<crypto::ConsentCertificate>& certificates,
                             const std::string& preselectedId);

// The index in the request's certificates of a row of certificateList.
int certificateIndex(const QTreeWidgetItem& item);

}  // namespace zorva::plugin::ui
