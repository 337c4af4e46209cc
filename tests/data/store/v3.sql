-- Version 3 as the program of that version wrote it (version 2 and the column it added),
-- with a few rows.
CREATE TABLE archive(
    id INTEGER PRIMARY KEY,
    time_ms INTEGER NOT NULL,
    direction TEXT NOT NULL CHECK (direction IN ('in', 'out')),
    kind TEXT NOT NULL DEFAULT '',
    chat_key TEXT NOT NULL DEFAULT '',
    chat_name TEXT NOT NULL DEFAULT '',
    sender_key TEXT NOT NULL DEFAULT '',
    sender_name TEXT NOT NULL DEFAULT '',
    msg_id TEXT NOT NULL DEFAULT '',
    text TEXT NOT NULL DEFAULT '',
    result TEXT NOT NULL DEFAULT '',
    recalled INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX archive_chat ON archive(chat_key);
CREATE VIRTUAL TABLE archive_text USING fts5(
    text, content='archive', content_rowid='id', tokenize='trigram', detail='none',
    columnsize=0);
INSERT INTO archive_text(archive_text, rank) VALUES ('automerge', 16);
INSERT INTO archive_text(archive_text, rank) VALUES ('crisismerge', 64);
CREATE TRIGGER archive_text_delete AFTER DELETE ON archive BEGIN
    INSERT INTO archive_text(archive_text, rowid, text) VALUES ('delete', old.id, old.text);
END;
CREATE TRIGGER archive_text_update AFTER UPDATE OF text ON archive BEGIN
    INSERT INTO archive_text(archive_text, rowid, text) VALUES ('delete', old.id, old.text);
    INSERT INTO archive_text(rowid, text) VALUES (new.id, new.text);
END;
CREATE TABLE contact_keys(
    key TEXT PRIMARY KEY,
    kind TEXT NOT NULL DEFAULT '',
    uin TEXT NOT NULL DEFAULT '',
    alias TEXT NOT NULL DEFAULT '',
    remark_name TEXT NOT NULL DEFAULT '',
    nick_name TEXT NOT NULL DEFAULT '',
    sex TEXT NOT NULL DEFAULT '',
    province TEXT NOT NULL DEFAULT '',
    city TEXT NOT NULL DEFAULT '',
    signature TEXT NOT NULL DEFAULT '',
    member_names TEXT NOT NULL DEFAULT '[]',
    group_key TEXT NOT NULL DEFAULT '',
    display_name TEXT NOT NULL DEFAULT '',
    first_seen_ms INTEGER NOT NULL DEFAULT 0,
    last_seen_ms INTEGER NOT NULL DEFAULT 0
) WITHOUT ROWID;
ALTER TABLE archive ADD COLUMN origin TEXT NOT NULL DEFAULT '';
ALTER TABLE archive ADD COLUMN media_path TEXT NOT NULL DEFAULT '';
INSERT INTO archive(time_ms, direction, kind, chat_key, chat_name, sender_key, sender_name,
                    msg_id, text, result, recalled, origin, media_path) VALUES
    (1704067200000, 'in', '文本', 'cgroupaaaaa', '高中同学', 'cmemberaaaa', '李雷',
     '6000000000000000001', '周末一起去爬山吧⛰️', '', 0, '', ''),
    (1704067230000, 'in', '[图片]', 'cgroupaaaaa', '高中同学', 'cmemberaaaa', '李雷',
     '6000000000000000003', '山顶的照片', '', 0, '',
     '/home/zelmo/.local/share/zelmo/wxid_a/media/2024-01/6000000000000000003.jpg'),
    (1704067260000, 'out', '文本', 'cgroupaaaaa', '高中同学', '', 'Zelmo',
     '6000000000000000002', '好的，周末爬山见', 'ok', 0, 'reply', ''),
    (1704067290000, 'out', '文本', 'cfriendaaaa', '韩梅梅', '', 'Zelmo',
     '', '群发的一句话', '发送失败(Ret 1)，未发送', 0, 'mass', '');
INSERT INTO archive_text(archive_text) VALUES ('rebuild');
INSERT INTO contact_keys(key, kind, nick_name, member_names, first_seen_ms, last_seen_ms) VALUES
    ('cgroupaaaaa', 'group', '高中同学', '["李雷","韩梅梅"]', 1704067200000, 1704067320000);
PRAGMA user_version = 3;
