#pragma once

#include <string>
#include <string_view>

// The one-pass answer readers against the reference cuts they replaced, on the same answer
// bytes (UTF-8, as the service sends them; the reference gets them converted to GBK, as it
// always did). Shared by the differential test and the differential fuzz target.
namespace zelmo::test {

// What differs between the two, for every answer kind (contacts, group members,
// webwxinit, webwxsync with each message item); empty when they agree. Where the readers
// mend a fault of the cuts, the mended behaviour is what is compared: a webwxsync answer
// counts only when its SyncKey came whole, which the cuts did not ask.
std::string DiffAnswer(std::string_view answer);

// What the one-pass readers give beyond their bounds for this input (more records than
// objects, texts longer than the input, more member slots than allowed); empty when none.
std::string CheckReadBounds(std::string_view answer);

// True when the bytes are exactly what the service's serializer writes (the layout the
// reference cuts depend on) for the document they hold, every object is one the service
// writes (its keys in order, for where it stands), and no string holds what the cuts
// mistake for structure: "ChatRoomId", a "}" after a contact's ChatRoomId, or an escape in
// a token cut up to a quote. Where this holds, the readers and the cuts must agree on the
// bytes and on every cut of them.
bool InServiceLayout(std::string_view answer);

// An answer the service could send, every choice in it made by the bytes: its kind, the
// era of each object, how many elements each list holds, numbers, and texts of any bytes
// (escaped as the service escapes them). In the service's layout, unless a text happens
// to hold what InServiceLayout refuses.
std::string WriteLayoutAnswer(std::string_view bytes);

}  // namespace zelmo::test
