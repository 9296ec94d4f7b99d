#pragma once

// The openssl command line as the independent judge of what the module made.

#include <boost/filesystem.hpp>
#include <boost/process.hpp>

#include <string>
#include <vector>

inline bool opensslAccepts(const std::vector<std::string>& arguments) {
    namespace bp = boost::process;
    return bp::system(bp::search_path("openssl"), bp::args(arguments), bp::std_out > bp::null,
                      bp::std_err > bp::null) == 0;
}

// Verifies a DER CMS signature against the test CA, as a relying party does;
// a detached one with its document.
inline bool cmsVerifies(const boost::filesystem::path& signature,
                        const boost::filesystem::path& document, const std::string& caFile) {
    std::vector<std::string> arguments{"cms",     "-verify", "-cades", "-binary",
                                       "-inform", "DER",     "-in",    signature.string(),
                                       "-CAfile", caFile,    "-out",   "/dev/null"};
    if (!document.empty()) {
        arguments.push_back("-content");
        arguments.push_back(document.string());
    }
    return opensslAccepts(arguments);
}
