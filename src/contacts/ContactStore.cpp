#include "contacts/ContactStore.h"

#include <array>
#include <functional>
#include <utility>

namespace zelmo::contacts {

namespace {

// The order of the texts in a packed record: the UserName first, as lookups read it most.
constexpr std::size_t FIELD_COUNT = 11;
constexpr std::size_t FIELD_USER_NAME = 0;
constexpr std::size_t FIELD_NICK_NAME = 1;
constexpr std::size_t FIELD_KIND = 3;
constexpr std::size_t FIELD_REMARK_NAME = 6;
using Fields = std::array<const std::string*, FIELD_COUNT>;
using MutableFields = std::array<std::string*, FIELD_COUNT>;

Fields FieldsOf(const ContactRecord& record) {
    return {&record.UserName,    &record.NickName, &record.Uin,        &record.kind,
            &record.Province,    &record.City,     &record.RemarkName, &record.Alias,
            &record.MemberCount, &record.OwnerUin, &record.Signature};
}

MutableFields FieldsOf(ContactRecord& record) {
    return {&record.UserName,    &record.NickName, &record.Uin,        &record.kind,
            &record.Province,    &record.City,     &record.RemarkName, &record.Alias,
            &record.MemberCount, &record.OwnerUin, &record.Signature};
}

// Lengths are written seven bits a byte, low bits first; a set high bit means more.
void AppendLength(std::string& out, std::size_t length) {
    while (length >= 0x80) {
        out.push_back(static_cast<char>((length & 0x7F) | 0x80));
        length >>= 7;
    }
    out.push_back(static_cast<char>(length));
}

std::size_t LengthSize(std::size_t length) {
    std::size_t size = 1;
    while (length >= 0x80) {
        length >>= 7;
        ++size;
    }
    return size;
}

// Reads the text at `pos` and moves `pos` past it.
std::string_view NextText(std::string_view texts, std::size_t& pos) {
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(texts[pos++]);
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            break;
        }
    }
    const std::string_view text = texts.substr(pos, length);
    pos += length;
    return text;
}

// 32 bits pick the slot in a table of up to 2^32 slots and tell most names apart.
std::uint32_t HashOf(std::string_view user_name) {
    return static_cast<std::uint32_t>(std::hash<std::string_view>{}(user_name));
}

}  // namespace

ContactStore::Packed ContactStore::Pack(const ContactRecord& record) {
    const Fields fields = FieldsOf(record);
    std::size_t size = 0;
    for (const std::string* field : fields) {
        size += LengthSize(field->size()) + field->size();
    }
    Packed packed;
    packed.texts.reserve(size);
    for (const std::string* field : fields) {
        AppendLength(packed.texts, field->size());
        packed.texts.append(*field);
    }
    return packed;
}

ContactRecord ContactStore::Unpack(const Packed& packed) {
    ContactRecord record;
    std::size_t pos = 0;
    for (std::string* field : FieldsOf(record)) {
        *field = std::string(NextText(packed.texts, pos));
    }
    record.Members = packed.members;
    return record;
}

std::string_view ContactStore::TextOf(const Packed& packed, std::size_t field) {
    std::size_t pos = 0;
    std::string_view text = NextText(packed.texts, pos);
    for (std::size_t i = 0; i < field; ++i) {
        text = NextText(packed.texts, pos);
    }
    return text;
}

std::string_view ContactStore::UserNameOf(const Packed& packed) {
    return TextOf(packed, FIELD_USER_NAME);
}

std::string_view ContactStore::NickNameOf(const Packed& packed) {
    return TextOf(packed, FIELD_NICK_NAME);
}

std::size_t ContactStore::Find(std::string_view user_name) const {
    if (m_slots.empty()) {
        return std::string_view::npos;
    }
    const std::uint32_t hash = HashOf(user_name);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Slot& entry = m_slots[slot];
        if (entry.index == 0) {
            return std::string_view::npos;
        }
        if (entry.hash == hash && UserNameOf(m_records[entry.index - 1]) == user_name) {
            return entry.index - 1;
        }
    }
}

void ContactStore::Index(std::size_t position) {
    // At most half full, so a probe meets a free slot soon; the table doubles before, each
    // entry moving by the hash it keeps.
    if (m_records.size() * 2 > m_slots.size()) {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
        for (const Slot& entry : old) {
            if (entry.index != 0) {
                Place(entry);
            }
        }
    }
    Place({static_cast<std::uint32_t>(position + 1), HashOf(UserNameOf(m_records[position]))});
}

void ContactStore::Place(Slot entry) {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = entry.hash & mask;
    while (m_slots[slot].index != 0) {
        slot = (slot + 1) & mask;
    }
    m_slots[slot] = entry;
}

std::size_t ContactStore::AppendIfNew(ContactRecord record) {
    Packed packed = Pack(record);
    std::lock_guard lock(m_mutex);
    if (const std::size_t known = Find(record.UserName); known != std::string_view::npos) {
        m_records[known].login = m_login;
        return 0;
    }
    packed.members = std::move(record.Members);
    packed.login = m_login;
    m_records.push_back(std::move(packed));
    Index(m_records.size() - 1);
    return m_records.size();
}

void ContactStore::BeginLogin() {
    std::lock_guard lock(m_mutex);
    ++m_login;
}

bool ContactStore::InCurrentLogin(std::string_view user_name) const {
    std::lock_guard lock(m_mutex);
    const std::size_t position = Find(user_name);
    return position != std::string_view::npos && m_records[position].login == m_login;
}

std::size_t ContactStore::FindContactIndex(std::string_view user_name) const {
    std::lock_guard lock(m_mutex);
    const std::size_t position = Find(user_name);
    return position == std::string_view::npos ? 0 : position + 1;
}

std::string ContactStore::FindNickName(std::string_view user_name) const {
    std::lock_guard lock(m_mutex);
    const std::size_t position = Find(user_name);
    return position == std::string_view::npos ? std::string(NICKNAME_NOT_FOUND)
                                              : std::string(NickNameOf(m_records[position]));
}

std::string ContactStore::FindKind(std::string_view user_name) const {
    std::lock_guard lock(m_mutex);
    const std::size_t position = Find(user_name);
    return position == std::string_view::npos
               ? std::string()
               : std::string(TextOf(m_records[position], FIELD_KIND));
}

std::string ContactStore::MemberName(std::string_view group_user_name,
                                     std::string_view member_user_name) const {
    std::lock_guard lock(m_mutex);
    const MemberRecord* member = nullptr;
    if (const std::size_t group = Find(group_user_name); group != std::string_view::npos) {
        for (const MemberRecord& candidate : m_records[group].members) {
            if (candidate.UserName == member_user_name) {
                member = &candidate;
                break;
            }
        }
    }
    const std::size_t person = Find(member_user_name);
    const Packed* contact = person == std::string_view::npos ? nullptr : &m_records[person];
    if (member != nullptr && !member->DisplayName.empty()) {
        return member->DisplayName;
    }
    if (contact != nullptr && !TextOf(*contact, FIELD_REMARK_NAME).empty()) {
        return std::string(TextOf(*contact, FIELD_REMARK_NAME));
    }
    if (member != nullptr && !member->NickName.empty()) {
        return member->NickName;
    }
    if (contact != nullptr && !NickNameOf(*contact).empty()) {
        return std::string(NickNameOf(*contact));
    }
    return std::string(member_user_name);
}

std::size_t ContactStore::Count() const {
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

std::map<std::string, std::size_t, std::less<>> ContactStore::CountKinds() const {
    std::lock_guard lock(m_mutex);
    std::map<std::string, std::size_t, std::less<>> counts;
    for (const Packed& packed : m_records) {
        if (packed.login == m_login) {
            ++counts[std::string(TextOf(packed, FIELD_KIND))];
        }
    }
    return counts;
}

std::optional<ContactRecord> ContactStore::At(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    if (index == 0 || index > m_records.size()) {
        return std::nullopt;
    }
    return Unpack(m_records[index - 1]);
}

std::vector<ContactRecord> ContactStore::Snapshot() const {
    std::lock_guard lock(m_mutex);
    std::vector<ContactRecord> records;
    records.reserve(m_records.size());
    for (const Packed& packed : m_records) {
        if (packed.login == m_login) {
            records.push_back(Unpack(packed));
        }
    }
    return records;
}

bool ContactStore::SetGroupMembers(std::size_t index, std::string member_count,
                                   std::string owner_uin, std::vector<MemberRecord> members) {
    std::lock_guard lock(m_mutex);
    if (index == 0 || index > m_records.size()) {
        return false;
    }
    Packed& packed = m_records[index - 1];
    ContactRecord record = Unpack(packed);
    record.MemberCount = std::move(member_count);
    record.OwnerUin = std::move(owner_uin);
    // The UserName stays, so the record keeps its slot in the index.
    Packed changed = Pack(record);
    changed.members = std::move(members);
    changed.login = packed.login;
    packed = std::move(changed);
    return true;
}

}  // namespace zelmo::contacts
