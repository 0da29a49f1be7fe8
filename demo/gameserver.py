#!/usr/bin/env python3
"""The demo's game server: a chat room for the movies' XMLSocket.

    demo/gameserver.py <port>        listens on 127.0.0.1 only

XMLSocket messages are UTF-8 text ended by a NUL byte, both ways. A player who
connects is told "You are player <n>. <k> online." and the others "Player <n>
joined."; whatever a player sends reaches everyone as "Player <n>: <text>";
"Player <n> left." when they go. One line per event goes to standard output.

Bounded as a server on the internet would be: 64 players, 1 KiB a message,
64 KiB waiting for a player who reads nothing (then that player is dropped).
The socket policy is not this server's: nginx answers it on port 843. A
client that asks this port for one instead (as the Flash Player did when 843
said nothing) is closed without an answer, before it joins: a connection
joins once it has said nothing for a moment or has said something else.
"""
import asyncio
import sys

MAX_PLAYERS = 64
MAX_MESSAGE = 1024
MAX_WAITING = 64 * 1024

players = {}  # number -> StreamWriter
next_number = 1


def log(text):
    print(text, flush=True)


def send(writer, text):
    if writer.transport.get_write_buffer_size() > MAX_WAITING:
        writer.close()
        return
    writer.write(text.encode("utf-8") + b"\0")


def everyone(text):
    for writer in list(players.values()):
        send(writer, text)


async def first_message(reader):
    """The first message, if one comes at once; None if none does."""
    try:
        return await asyncio.wait_for(reader.readuntil(b"\0"), 0.3)
    except asyncio.TimeoutError:
        return None


async def play(reader, writer):
    global next_number
    if len(players) >= MAX_PLAYERS:
        writer.close()
        return
    try:
        first = await first_message(reader)
    except (asyncio.IncompleteReadError, asyncio.LimitOverrunError, ConnectionError):
        writer.close()
        return
    if first == b"<policy-file-request/>\0":
        writer.close()
        return
    number = next_number
    next_number += 1
    everyone("Player %d joined." % number)
    players[number] = writer
    send(writer, "You are player %d. %d online." % (number, len(players)))
    log("player %d joined" % number)
    try:
        while True:
            try:
                message = first or await reader.readuntil(b"\0")
                first = None
            except asyncio.LimitOverrunError:
                break  # longer than a message may be
            text = message[:-1].decode("utf-8", "replace")
            # One line on the room's screen: no line ends or other controls.
            text = "".join(c if c.isprintable() else " " for c in text).strip()
            if text:
                log("player %d: %s" % (number, text))
                everyone("Player %d: %s" % (number, text))
    except (asyncio.IncompleteReadError, ConnectionError):
        pass
    finally:
        del players[number]
        writer.close()
        everyone("Player %d left." % number)
        log("player %d left" % number)


async def main(port):
    server = await asyncio.start_server(play, "127.0.0.1", port, limit=MAX_MESSAGE)
    log("game server on 127.0.0.1:%d" % port)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: gameserver.py <port>")
    try:
        asyncio.run(main(int(sys.argv[1])))
    except KeyboardInterrupt:
        pass
