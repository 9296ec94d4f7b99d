#include "prompt_notice.h"

#include <utility>

namespace zorva::plugin::ui {
namespace {

AttentionNotice& registered() {
    static AttentionNotice notice;
    return notice;
}

}  // namespace

void setAttentionNotice(AttentionNotice notice) { registered() = std::move(notice); }

void askForAttention(const QString& windowTitle) {
    if (registered()) registered()(windowTitle);
}

}  // namespace zorva::plugin::ui
