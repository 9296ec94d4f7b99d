#include "site_prompt.h"

#include "exception.h"
#include "logging.h"

#include <chrono>
#include <utility>

namespace zorva::plugin::ui {
namespace {

std::string seconds(SiteLedger::Clock::duration duration) {
    return std::to_string(std::chrono::ceil<std::chrono::seconds>(duration).count()) + " s";
}

}  // namespace

SitePromptRefused::SitePromptRefused(Reason reason, const std::string& text)
    : std::runtime_error(text), reason_(reason) {}

SitePrompt::SitePrompt(SiteLedger& ledger, std::string origin)
    : ledger_(ledger), origin_(std::move(origin)) {
    if (origin_.empty()) return;
    checkEmbargo();
    if (ledger_.startPending(origin_)) return;
    PLUGIN_LOG(warning) << "ui: prompt of origin \"" << origin_ << "\" refused: one is pending";
    PLUGIN_THROW(SitePromptRefused(SitePromptRefused::Reason::Pending,
                                   "an action is already pending: the user has not answered "
                                   "this page's window yet"),
                 "SitePrompt");
}

SitePrompt::~SitePrompt() {
    if (!origin_.empty()) ledger_.endPending(origin_);
}

void SitePrompt::checkEmbargo() const {
    if (origin_.empty()) return;
    const auto left = ledger_.embargoLeft(origin_);
    if (left == SiteLedger::Clock::duration::zero()) return;
    PLUGIN_LOG(warning) << "ui: prompt of origin \"" << origin_ << "\" refused: held back for "
                        << seconds(left);
    PLUGIN_THROW(
        SitePromptRefused(SitePromptRefused::Reason::Embargo,
                          "the user dismissed this site's window: no new one for " + seconds(left)),
        "checkEmbargo");
}

void SitePrompt::dismissed() {
    if (origin_.empty()) return;
    const auto embargo = ledger_.dismissed(origin_);
    PLUGIN_LOG(info) << "ui: prompt of origin \"" << origin_ << "\" dismissed, its site is held "
                     << "back for " << seconds(embargo);
}

void SitePrompt::answered() {
    if (!origin_.empty()) ledger_.answered(origin_);
}

}  // namespace zorva::plugin::ui
