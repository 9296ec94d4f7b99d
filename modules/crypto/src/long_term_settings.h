#pragma once

#include "http_client.h"

#include <string>
#include <utility>
#include <vector>

namespace zorva::plugin::crypto {

// What the user or the administrator allows for timestamps and validation
// data, from "meta" entries of the "crypto" dependency: "tsa" (one entry per
// time-stamp authority's URL, the first is the default), "tsaTrustStore" (a
// PEM file or directory the TSAs' certificates must lead to; else the
// "trustStore"), "revocationFetch" ("true": OCSP responses and CRLs may be
// fetched from the addresses the certificates name) and "networkTimeout"
// (seconds per call, default 10). A page never adds an address.
struct LongTermSettings {
    std::vector<std::string> tsaUrls;
    std::string trustStore;
    std::string tsaTrustStore;
    bool revocationFetch = false;
    HttpLimits limits;

    // The TSA a request named, or the default for none. A URL that is not
    // listed is ApplicationException RequestFormat; no TSA configured is NotImplemented.
    std::string tsaFor(const std::string& requested) const;
    // The store TSA certificates are checked against.
    const std::string& tsaStore() const {
        return tsaTrustStore.empty() ? trustStore : tsaTrustStore;
    }
};

// category and data of each "meta" entry, in their order. A timeout that is
// no whole number of seconds from 1 to 300 keeps the default.
LongTermSettings longTermSettings(const std::vector<std::pair<std::string, std::string>>& meta);

}  // namespace zorva::plugin::crypto
