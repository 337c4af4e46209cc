#pragma once

#include <string>
#include <string_view>

#include "media/Upload.h"
#include "protocol/SendAnswer.h"
#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::media {

// Sends an uploaded file to `to` by its MediaId: webwxsendmsgimg (pictures),
// webwxsendvideomsg (videos), webwxsendappmsg (files, with the attachment's XML) or
// webwxsendemoticon (gifs). `client_id` is the ClientMsgId and LocalID, made as for texts.
// Uploads nothing: a send that may have arrived is tried again with the same MediaId and
// ids, never with a second upload. The answer's Ret (empty when the request failed) and
// MsgID. Blocks; any thread.
protocol::SendAnswer SendUploadedMedia(const protocol::ServiceLink& link,
                                       const protocol::ProtocolState& state, std::string_view to,
                                       const UploadedMedia& media, std::string_view client_id);

// The Content of a file message: the attachment's XML, one line, the name XML-escaped.
std::string FileMessageXml(const UploadedMedia& media);

}  // namespace zelmo::media
