#!/usr/bin/python3
"""An SMTP server for the tests, built on aiosmtpd.

It records what arrives in the --out folder: commands.log holds every command
line as received (the end of a message's data as "."), message-N.eml the bytes
of the N-th message after the dots are undone. It writes both before it
answers, so a client that has its reply can look at them at once. An empty
file named listening appears once it takes connections.

It can be told to answer differently:
  --greeting LINE        a greeting line (repeat for a multi-line greeting)
  --multiline            answer with three-line replies instead of one line
  --reply CMD[:TEXT]=R   answer CMD (whose argument holds TEXT) with R instead
                         of handling it; '|' separates lines, '||' replies written
                         apart (over TLS, a record each) that arrive together;
                         421 then closes
  --reply-once CMD[:TEXT]=R
                         the same, but only for the first command it matches
                         (CMD#N: only the N-th CMD of the connection's life, from 1)
  --drop-after CMD       close the connection right after a --reply or
                         --reply-once answer to the command CMD (not "."),
                         e.g. after a 354 to DATA
  --drop CMD             close the connection on CMD without answering
  --delay CMD=SECONDS    wait before answering CMD
  --tls-cert FILE --tls-key FILE
                         offer STARTTLS with this certificate
  --implicit-tls         speak TLS from the first byte instead (port 465 style)
  --require-starttls     refuse everything but EHLO, STARTTLS and QUIT before TLS
  --auth USER:PASSWORD   take AUTH PLAIN and LOGIN for this one user
  --auth-required        refuse MAIL before AUTH
  --auth-without-tls     offer AUTH before TLS too
  --auth-exclude MECH    do not offer this mechanism
  --oauth-introspect URL take AUTH XOAUTH2 and OAUTHBEARER, each token checked
                         at this token introspection endpoint (RFC 7662) over
                         HTTPS; a token that is not active, not the user's or
                         lacks --oauth-scope gets the 334 error challenge
                         (logged as "OAUTH CHALLENGE", the client's answer as
                         "OAUTH ANSWER <base64>"), then 535
  --oauth-ca FILE        the CA that certifies that endpoint
  --oauth-scope SCOPE    the scope a token must hold
  --smtputf8             offer SMTPUTF8
  --pipelining           offer PIPELINING (aiosmtpd reads pipelined commands in order)
  --data-without-recipients
                         answer DATA with 354 even when no recipient was taken,
                         as RFC 2920 3.1 warns a server may
  --size-limit BYTES     the SIZE to offer (0: no SIZE)
  --require-fqdn-helo    refuse every RCPT, as Postfix's reject_non_fqdn_helo_hostname
                         does, when the EHLO or HELO name is neither a name with a dot
                         nor an address literal
In a REPLY, {argument} stands for the command's argument as received (a server
that quotes back what it was sent, credentials included).
CMD is a command name (HELO, EHLO, STARTTLS, AUTH, MAIL, RCPT, DATA, RSET,
QUIT), "." for the end of the data, or GREETING for the greeting of a new
connection (GREETING#2: the second connection's). AUTH is logged without its argument,
and a successful log-in as "AUTHENTICATED USER".
"""

import argparse
import asyncio
import base64
import json
import logging
import os
import socket
import ssl
import sys
import urllib.parse
import urllib.request

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--greeting", action="append", default=[])
    parser.add_argument("--multiline", action="store_true")
    parser.add_argument("--reply", action="append", default=[])
    parser.add_argument("--reply-once", action="append", default=[])
    parser.add_argument("--drop-after", action="append", default=[])
    parser.add_argument("--drop", action="append", default=[])
    parser.add_argument("--delay", action="append", default=[])
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--require-starttls", action="store_true")
    parser.add_argument("--auth")
    parser.add_argument("--auth-required", action="store_true")
    parser.add_argument("--auth-without-tls", action="store_true")
    parser.add_argument("--auth-exclude", action="append", default=[])
    parser.add_argument("--oauth-introspect")
    parser.add_argument("--oauth-ca")
    parser.add_argument("--oauth-scope", default="")
    parser.add_argument("--smtputf8", action="store_true")
    parser.add_argument("--pipelining", action="store_true")
    parser.add_argument("--data-without-recipients", action="store_true")
    parser.add_argument("--size-limit", type=int)
    parser.add_argument("--require-fqdn-helo", action="store_true")
    return parser.parse_args()


class Script:
    def __init__(self, arguments):
        self.out = arguments.out
        self.greeting = arguments.greeting
        self.multiline = arguments.multiline
        self.replies = []
        for rule, once in ([(rule, False) for rule in arguments.reply] +
                           [(rule, True) for rule in arguments.reply_once]):
            key, _, reply = rule.partition("=")
            command, _, needle = key.partition(":")
            command, _, nth = command.partition("#")
            self.replies.append({"command": command.upper(), "needle": needle,
                                 "reply": reply.replace("||", "\x1e").replace("|", "\r\n"),
                                 "once": once,
                                 "nth": int(nth) if nth else None, "used": False})
        self.counts = {}
        self.pipelining = arguments.pipelining
        self.data_without_recipients = arguments.data_without_recipients
        self.drops = {command.upper() for command in arguments.drop}
        self.drops_after = {command.upper() for command in arguments.drop_after}
        self.delays = {}
        for rule in arguments.delay:
            command, _, seconds = rule.partition("=")
            self.delays[command.upper()] = float(seconds)
        self.message_count = 0
        self.require_fqdn_helo = arguments.require_fqdn_helo

    def reply_for(self, command, argument):
        self.counts[command] = self.counts.get(command, 0) + 1
        for rule in self.replies:
            if rule["once"] and rule["used"]:
                continue
            if rule["nth"] is not None and rule["nth"] != self.counts[command]:
                continue
            if rule["command"] == command and rule["needle"] in argument:
                rule["used"] = True
                return rule["reply"].replace("{argument}", argument)
        return None

    def log_command(self, line):
        with open(os.path.join(self.out, "commands.log"), "a", encoding="utf-8",
                  errors="surrogateescape") as log:
            log.write(line + "\n")

    def save_message(self, content):
        self.message_count += 1
        path = os.path.join(self.out, "message-%d.eml" % self.message_count)
        with open(path, "wb") as message:
            message.write(content)


def as_multiline(status):
    # Only a reply's last line: the lines before it already say more follows.
    if "\r\n" in status or len(status) < 4 or status[3] != " ":
        return status
    code, text = status[:3], status[4:]
    return "%s-%s\r\n%s-second line\r\n%s last line" % (code, text, code, code)


class ScriptedSMTP(SMTP):
    def __init__(self, handler, script, **options):
        super().__init__(handler, **options)
        self.script = script
        self.greeted = False
        self.dropped = False
        for name, method in list(self._smtp_methods.items()):
            self._smtp_methods[name] = self._scripted(name, method)

    def _scripted(self, name, method):
        async def run(argument):
            shown = argument
            if name == "AUTH" and argument:
                shown = argument.split()[0]  # never the credentials
            self.script.log_command(name if shown is None else "%s %s" % (name, shown))
            if not await self.answer_by_script(name, argument or ""):
                await method(argument)
        return run

    async def answer_by_script(self, command, argument):
        """Answers as the script says; False when the command is to be handled."""
        if command in ("EHLO", "HELO"):
            self.helo_name = argument
        if command == "RCPT" and self.script.require_fqdn_helo:
            name = getattr(self, "helo_name", "")
            if "." not in name and not name.startswith("["):
                await self.push("504 5.5.2 <%s>: Helo command rejected: need fully-qualified "
                                "hostname" % name)
                return True
        delay = self.script.delays.get(command)
        if delay:
            await asyncio.sleep(delay)
        if command in self.script.drops:
            self.drop()
            return True
        reply = self.script.reply_for(command, argument)
        if reply is None:
            if (command == "DATA" and self.script.data_without_recipients
                    and not self.envelope.rcpt_tos):
                self.envelope.rcpt_tos.append("nobody@scripted.test")
            return False
        if "\x1e" in reply:
            await self.push_apart(reply.split("\x1e"))
        else:
            await self.push(reply)
        if command in self.script.drops_after:
            self.drop()
        return True

    async def push_apart(self, replies):
        """Each reply a write of its own (over TLS a record of its own), the
        writes held back until all are made, so that they arrive together."""
        sock = self.transport.get_extra_info("socket")
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_CORK, 1)
        try:
            for reply in replies:
                await self.push(reply)
        finally:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_CORK, 0)

    def drop(self):
        self.dropped = True
        if self.transport is not None:
            self.transport.close()

    async def push(self, status):
        if self.dropped:
            return
        if isinstance(status, bytes):
            status = status.decode("utf-8", "surrogateescape")
        if not self.greeted:
            self.greeted = True
            if self.script.greeting:
                status = "\r\n".join(self.script.greeting)
            scripted = self.script.reply_for("GREETING", "")
            if scripted is not None:
                status = scripted
        else:
            if status == "250 HELP" and self.script.pipelining:
                # The last line of the reply to EHLO.
                await super().push("250-PIPELINING")
            if self.script.multiline:
                status = as_multiline(status)
        await super().push(status)
        if status.startswith("421"):
            self.drop()


class Handler:
    def __init__(self, script):
        self.script = script

    async def handle_DATA(self, server, session, envelope):
        self.script.save_message(envelope.original_content)
        self.script.log_command(".")
        delay = self.script.delays.get(".")
        if delay:
            await asyncio.sleep(delay)
        if "." in self.script.drops:
            server.drop()
            return "250 OK"
        reply = self.script.reply_for(".", "")
        return reply if reply is not None else "250 OK"


def token_fields(mechanism, response):
    """The user and the bearer token of an XOAUTH2 or OAUTHBEARER response."""
    text = response.decode("utf-8", "replace")
    user, token = "", ""
    if mechanism == "OAUTHBEARER":
        header, _, rest = text.partition("\x01")
        for part in header.split(","):
            if part.startswith("a="):
                user = part[2:].replace("=2C", ",").replace("=3D", "=")
        fields = rest.split("\x01")
    else:
        fields = text.split("\x01")
    for field in fields:
        if field.startswith("user="):
            user = field[5:]
        elif field.lower().startswith("auth=bearer "):
            token = field[12:]
    return user, token


class OAuthHandler(Handler):
    """Takes XOAUTH2 and OAUTHBEARER, asking the authorization server."""

    def __init__(self, script, arguments):
        super().__init__(script)
        self.introspect = arguments.oauth_introspect
        self.scope = arguments.oauth_scope
        self.context = ssl.create_default_context(cafile=arguments.oauth_ca)

    def token_holder(self, token):
        data = urllib.parse.urlencode({"token": token}).encode()
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}),
                                             urllib.request.HTTPSHandler(context=self.context))
        with opener.open(self.introspect, data=data, timeout=30) as answer:
            document = json.loads(answer.read().decode())
        if not document.get("active"):
            return None
        if self.scope and self.scope not in (document.get("scope") or "").split():
            return None
        return document.get("username")

    async def check(self, server, mechanism, args):
        if len(args) > 1:
            response = base64.b64decode(args[1])
        else:
            response = await server.challenge_auth("")
            if not isinstance(response, bytes):
                return AuthResult(success=False, handled=True)
        user, token = token_fields(mechanism, response)
        holder = await asyncio.get_running_loop().run_in_executor(None, self.token_holder, token)
        if holder is not None and holder == user:
            self.script.log_command("AUTHENTICATED %s (%s)" % (user, mechanism))
            return AuthResult(success=True, auth_data=user)
        document = {"status": "invalid_token" if mechanism == "OAUTHBEARER" else "401",
                    "schemes": "bearer", "scope": self.scope or "mail"}
        self.script.log_command("OAUTH CHALLENGE")
        await server.push("334 " + base64.b64encode(json.dumps(document).encode()).decode())
        answer = await server._reader.readline()
        self.script.log_command("OAUTH ANSWER " + answer.decode("ascii", "replace").strip())
        await server.push("535 5.7.8 Username and Password not accepted. For more information, "
                          "go to the provider's help")
        return AuthResult(success=False, handled=True)

    async def auth_XOAUTH2(self, server, args):
        return await self.check(server, "XOAUTH2", args)

    async def auth_OAUTHBEARER(self, server, args):
        return await self.check(server, "OAUTHBEARER", args)


def make_authenticator(script, user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        good = (isinstance(auth_data, LoginPassword) and
                auth_data.login == user.encode() and auth_data.password == password.encode())
        if good:
            script.log_command("AUTHENTICATED %s" % user)
        return AuthResult(success=good, handled=False)
    return authenticate


def main():
    # aiosmtpd's own notices (deprecations among them) are no test's business.
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    arguments = parse_arguments()
    script = Script(arguments)
    handler = OAuthHandler(script, arguments) if arguments.oauth_introspect else Handler(script)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    options = {"hostname": "scripted.test", "loop": loop}
    context = None
    if arguments.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(arguments.tls_cert, arguments.tls_key)
        if not arguments.implicit_tls:
            options["tls_context"] = context
            options["require_starttls"] = arguments.require_starttls
    if arguments.auth or arguments.oauth_introspect:
        user, _, password = (arguments.auth or "").partition(":")
        options["authenticator"] = make_authenticator(script, user, password)
        options["auth_required"] = arguments.auth_required
        options["auth_exclude_mechanism"] = arguments.auth_exclude
    # An implicit TLS connection is encrypted from the start, which aiosmtpd
    # does not see: it would refuse AUTH there otherwise.
    options["auth_require_tls"] = not (arguments.auth_without_tls or arguments.implicit_tls)
    options["enable_SMTPUTF8"] = arguments.smtputf8
    if arguments.size_limit is not None:
        options["data_size_limit"] = arguments.size_limit or None

    server = loop.run_until_complete(loop.create_server(
        lambda: ScriptedSMTP(handler, script, **options),
        host=arguments.host, port=arguments.port,
        ssl=context if arguments.implicit_tls else None))
    # The test waits for this rather than probe the port with a connection
    # of its own, which a script numbering connections would count.
    open(os.path.join(arguments.out, "listening"), "w").close()
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    sys.exit(main())
