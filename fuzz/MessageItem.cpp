#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "contacts/ContactStore.h"
#include "messages/Classification.h"
#include "messages/GroupEvents.h"
#include "messages/MessageLog.h"
#include "messages/ReceivedMessage.h"

// Input: a group's UserName, then one raw AddMsgList item. Everything read, labelled or
// made readable stays bounded by the item.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo;
    const auto fields = FuzzFields(data, size, 2);
    const std::string_view group = fields[0];
    const std::string_view item = fields[1];
    // The longest label and the text a label adds at most.
    constexpr std::size_t LABEL_ROOM = 64;

    const messages::ReceivedMessage message = messages::ReadMessageItem(item);
    for (const std::string* field : {&message.MsgId, &message.FromUserName, &message.ToUserName,
                                     &message.Content, &message.Url, &message.FileName,
                                     &message.RecommendUserName, &message.RecommendNickName}) {
        FUZZ_CHECK(field->size() <= item.size());
    }
    const messages::Classified classified = messages::ClassifyMessage(message, "url.cn");
    FUZZ_CHECK(classified.content.size() <=
               message.Content.size() + message.RecommendNickName.size() + LABEL_ROOM);
    FUZZ_CHECK(messages::GroupMemberPrefixLength(item) <= item.size());

    contacts::ContactStore store;
    const std::string shown = messages::ReadableContent(store, group, classified.content);
    // A line break grows from five bytes to two, a member's prefix loses ":<br/>" for ": ".
    FUZZ_CHECK(shown.size() <= classified.content.size());

    config::Settings settings;
    settings.群管_邀 = "[name]!";
    settings.群管_加 = "[name]?";
    settings.群管_移 = "-[name]";
    if (const auto reply = messages::GroupEventReply(settings, item)) {
        FUZZ_CHECK(reply->size() <= item.size() + 2);
    }
    return 0;
}
