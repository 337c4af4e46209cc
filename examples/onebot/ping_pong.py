#!/usr/bin/env python3
"""A OneBot 12 application in the Python standard library alone: it connects to Zelmo's
forward WebSocket, answers every message that says "ping" with "pong", and sends every
picture it gets back to where it came from (by its file_id, as the standard's image
segment names it).

    python3 examples/onebot/ping_pong.py ws://127.0.0.1:6700/ [ACCESS_TOKEN]
"""
import base64
import json
import os
import socket
import struct
import sys
import urllib.parse

TEXT, BINARY, CLOSE, PING, PONG, CONTINUATION = 0x1, 0x2, 0x8, 0x9, 0xA, 0x0


def connect(url, token):
    parts = urllib.parse.urlsplit(url)
    if parts.scheme != "ws":
        sys.exit("only ws:// URLs: " + url)
    sock = socket.create_connection((parts.hostname, parts.port or 80))
    key = base64.b64encode(os.urandom(16)).decode()
    head = [f"GET {parts.path or '/'} HTTP/1.1", f"Host: {parts.netloc}", "Upgrade: websocket",
            "Connection: Upgrade", f"Sec-WebSocket-Key: {key}", "Sec-WebSocket-Version: 13"]
    if token:
        head.append(f"Authorization: Bearer {token}")
    sock.sendall(("\r\n".join(head) + "\r\n\r\n").encode())
    answer = b""
    while b"\r\n\r\n" not in answer:
        chunk = sock.recv(4096)
        if not chunk:
            sys.exit("the robot closed the connection during the handshake")
        answer += chunk
    status = answer.split(b"\r\n", 1)[0].decode(errors="replace")
    if " 101 " not in status + " ":
        sys.exit("refused: " + status)
    return sock, answer.split(b"\r\n\r\n", 1)[1]


class Frames:
    """Reads whole messages; answers pings; a client's own frames go out masked."""

    def __init__(self, sock, pending):
        self.sock, self.buffer = sock, pending

    def _take(self, count):
        while len(self.buffer) < count:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError
            self.buffer += chunk
        data, self.buffer = self.buffer[:count], self.buffer[count:]
        return data

    def send(self, payload, opcode=TEXT):
        if isinstance(payload, str):
            payload = payload.encode()
        mask = os.urandom(4)
        size = len(payload)
        if size < 126:
            head = struct.pack("!BB", 0x80 | opcode, 0x80 | size)
        elif size < 65536:
            head = struct.pack("!BBH", 0x80 | opcode, 0x80 | 126, size)
        else:
            head = struct.pack("!BBQ", 0x80 | opcode, 0x80 | 127, size)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(head + mask + masked)

    def receive(self):
        message = b""
        while True:
            first, second = self._take(2)
            opcode, size = first & 0x0F, second & 0x7F
            if size == 126:
                size = struct.unpack("!H", self._take(2))[0]
            elif size == 127:
                size = struct.unpack("!Q", self._take(8))[0]
            mask = self._take(4) if second & 0x80 else None
            payload = self._take(size)
            if mask:
                payload = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
            if opcode == PING:
                self.send(payload, PONG)
            elif opcode == CLOSE:
                raise EOFError
            elif opcode in (TEXT, BINARY, CONTINUATION):
                message += payload
                if first & 0x80:
                    return message.decode()


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sock, pending = connect(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "")
    frames = Frames(sock, pending)
    print("connected to", sys.argv[1], flush=True)
    while True:
        try:
            data = json.loads(frames.receive())
        except EOFError:
            print("the robot closed the connection")
            return
        if "retcode" in data:  # an answer to one of our actions
            if data["retcode"] != 0:
                print("action failed:", data.get("retcode"), data.get("message"), flush=True)
            continue
        if data.get("type") != "message":
            continue
        pictures = [segment["data"]["file_id"] for segment in data.get("message", [])
                    if segment.get("type") == "image"]
        if pictures:
            answer = [{"type": "text", "data": {"text": "your picture: "}},
                      {"type": "image", "data": {"file_id": pictures[0]}}]
        elif data.get("alt_message", "").strip() == "ping":
            answer = "pong"
        else:
            continue
        params = {"detail_type": data["detail_type"], "message": answer}
        if data["detail_type"] == "group":
            params["group_id"] = data["group_id"]
        else:
            params["user_id"] = data["user_id"]
        frames.send(json.dumps({"action": "send_message", "params": params,
                                "echo": data["message_id"]}))
        print("picture from" if pictures else "ping from", data["user_id"],
              "-> sent back" if pictures else "-> pong", flush=True)


if __name__ == "__main__":
    main()
