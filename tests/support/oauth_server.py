#!/usr/bin/python3
"""An OAuth 2.0 authorization server for the tests, over HTTPS on loopback.

Built on oauthlib's provider side: the authorization code grant with PKCE
(required, S256 or plain as the client asks), refresh tokens, token
introspection (RFC 7662) for an SMTP server that checks tokens.

  --port N             listen on 127.0.0.1:N
  --cert FILE --key FILE   the HTTPS certificate and key
  --client-id ID       the one registered client
  --client-secret S    its secret; without it the client is public
  --expires-in SECONDS the access tokens' life (3600)
  --grant-scope SCOPE  grant this scope whatever was asked (a user who did
                       not allow everything)
  --refuse ERROR:TEXT  answer every authorization request with this error
  --refuse-refresh ERROR  answer every refresh with this error, its description
                       quoting the refresh token sent and the whole form as it came
  --log FILE           one JSON line per request (what the tests look at)

GET /authorize shows a consent form (the test's browser posts it back);
POST /token, POST /introspect; POST /control/revoke revokes every refresh
token, as a user who withdraws the application's access.
"""

import argparse
import base64
import html
import json
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from oauthlib.oauth2 import RequestValidator, Server

LOCK = threading.Lock()


class Client:
    def __init__(self, client_id):
        self.client_id = client_id


def is_loopback_redirect(uri):
    parts = urllib.parse.urlsplit(uri)
    # RFC 8252 7.3: any port on the loopback interface.
    return parts.scheme == "http" and parts.hostname in ("127.0.0.1", "localhost", "::1")


class Validator(RequestValidator):
    def __init__(self, arguments):
        self.arguments = arguments
        self.codes = {}      # code -> dict
        self.access = {}     # access token -> dict
        self.refresh = {}    # refresh token -> dict

    # Clients.
    def client_authentication_required(self, request, *args, **kwargs):
        return bool(self.arguments.client_secret)

    def authenticate_client(self, request, *args, **kwargs):
        if request.client_id != self.arguments.client_id:
            return False
        if request.client_secret != self.arguments.client_secret:
            return False
        request.client = Client(request.client_id)
        return True

    def authenticate_client_id(self, client_id, request, *args, **kwargs):
        if client_id != self.arguments.client_id or self.arguments.client_secret:
            return False
        request.client = Client(client_id)
        return True

    def validate_client_id(self, client_id, request, *args, **kwargs):
        return client_id == self.arguments.client_id

    def validate_redirect_uri(self, client_id, redirect_uri, request, *args, **kwargs):
        return is_loopback_redirect(redirect_uri)

    def get_default_redirect_uri(self, client_id, request, *args, **kwargs):
        return None

    def validate_response_type(self, client_id, response_type, client, request, *args, **kwargs):
        return response_type == "code"

    def validate_scopes(self, client_id, scopes, client, request, *args, **kwargs):
        return True

    def get_default_scopes(self, client_id, request, *args, **kwargs):
        return []

    def validate_grant_type(self, client_id, grant_type, client, request, *args, **kwargs):
        return grant_type in ("authorization_code", "refresh_token")

    # Codes, with their PKCE challenge.
    def is_pkce_required(self, client_id, request):
        return True

    def save_authorization_code(self, client_id, code, request, *args, **kwargs):
        self.codes[code["code"]] = {
            "client_id": client_id,
            "redirect_uri": request.redirect_uri,
            "scopes": request.scopes,
            "user": request.user,
            "challenge": request.code_challenge,
            "method": request.code_challenge_method,
        }

    def get_code_challenge(self, code, request):
        saved = self.codes.get(code)
        return saved["challenge"] if saved else None

    def get_code_challenge_method(self, code, request):
        saved = self.codes.get(code)
        return saved["method"] if saved else None

    def validate_code(self, client_id, code, client, request, *args, **kwargs):
        saved = self.codes.get(code)
        if not saved or saved["client_id"] != client_id:
            return False
        request.user = saved["user"]
        request.scopes = saved["scopes"]
        return True

    def confirm_redirect_uri(self, client_id, code, redirect_uri, client, request, *args, **kwargs):
        saved = self.codes.get(code)
        return bool(saved) and saved["redirect_uri"] == redirect_uri

    def invalidate_authorization_code(self, client_id, code, request, *args, **kwargs):
        self.codes.pop(code, None)

    # Tokens.
    def save_bearer_token(self, token, request, *args, **kwargs):
        self.access[token["access_token"]] = {"user": request.user, "scopes": request.scopes,
                                             "client_id": request.client_id,
                                             "expires_at": time.time() + token["expires_in"]}
        if "refresh_token" in token:
            self.refresh[token["refresh_token"]] = {"user": request.user,
                                                    "scopes": request.scopes,
                                                    "client_id": request.client_id}

    def validate_refresh_token(self, refresh_token, client, request, *args, **kwargs):
        saved = self.refresh.get(refresh_token)
        if not saved:
            return False
        request.user = saved["user"]
        return True

    def get_original_scopes(self, refresh_token, request, *args, **kwargs):
        return self.refresh[refresh_token]["scopes"]

    def rotate_refresh_token(self, request):
        return True

    def introspect_token(self, token, token_type_hint, request, *args, **kwargs):
        saved = self.access.get(token)
        if not saved:
            return None
        return {"username": saved["user"], "scope": " ".join(saved["scopes"] or []),
                "client_id": saved["client_id"]}

    def validate_bearer_token(self, token, scopes, request):
        return token in self.access


def id_token_for(user):
    def part(value):
        return base64.urlsafe_b64encode(json.dumps(value).encode()).rstrip(b"=").decode()
    return part({"alg": "none", "typ": "JWT"}) + "." + part({"email": user}) + ".x"


class Handler(BaseHTTPRequestHandler):
    server_version = "TestAuthorizationServer"

    def log_message(self, format, *args):
        pass

    def note(self, record):
        if self.server.arguments.log:
            with LOCK, open(self.server.arguments.log, "a") as log:
                log.write(json.dumps(record) + "\n")

    def body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length).decode()

    def uri(self):
        return "https://127.0.0.1:%d%s" % (self.server.server_address[1], self.path)

    def answer(self, status, headers, body):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        data = (body or "").encode()
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        if path != "/authorize":
            return self.answer(404, {}, "not found")
        query = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(self.path).query))
        self.note({"path": path, "query": {k: v for k, v in query.items() if k != "state"}})
        arguments = self.server.arguments
        if arguments.refuse:
            error, _, text = arguments.refuse.partition(":")
            target = query.get("redirect_uri", "")
            if not is_loopback_redirect(target):
                return self.answer(400, {}, "bad redirect")
            location = target + "?" + urllib.parse.urlencode(
                {"error": error, "error_description": text, "state": query.get("state", "")})
            return self.answer(302, {"Location": location}, "")
        with LOCK:
            try:
                scopes, _ = self.server.provider.validate_authorization_request(self.uri(), "GET")
            except Exception as error:  # oauthlib's errors, told to the browser
                return self.answer(400, {}, "refused: %s" % error)
        fields = "".join('<input type="hidden" name="%s" value="%s">' %
                         (html.escape(k), html.escape(v)) for k, v in query.items())
        page = ('<html><body><form method="post" action="/authorize">%s'
                '<input type="text" name="user" value="%s">'
                '<input type="submit" name="allow" value="Allow"></form></body></html>'
                % (fields, html.escape(query.get("login_hint", "user@example.test"))))
        return self.answer(200, {"Content-Type": "text/html"}, page)

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        body = self.body()
        form = dict(urllib.parse.parse_qsl(body))
        provider = self.server.provider
        arguments = self.server.arguments
        if path == "/authorize":
            query = urllib.parse.urlencode({k: v for k, v in form.items()
                                            if k not in ("user", "allow")})
            uri = "https://127.0.0.1:%d/authorize?%s" % (self.server.server_address[1], query)
            with LOCK:
                scopes, credentials = provider.validate_authorization_request(uri, "GET")
                if arguments.grant_scope:
                    scopes = arguments.grant_scope.split()
                credentials["user"] = form.get("user", "user@example.test")
                headers, _, status = provider.create_authorization_response(
                    uri, "GET", None, None, scopes, credentials)
            self.note({"path": "/authorize", "consent": form.get("user"), "status": status})
            return self.answer(status, headers, "")
        if path == "/token":
            if arguments.refuse_refresh and form.get("grant_type") == "refresh_token":
                self.note({"path": path, "grant_type": "refresh_token", "status": 400,
                           "error": arguments.refuse_refresh})
                document = {"error": arguments.refuse_refresh,
                            "error_description": "refresh_token %s is not accepted (%s)" %
                                                 (form.get("refresh_token", ""), body)}
                return self.answer(400, {"Content-Type": "application/json"},
                                   json.dumps(document))
            with LOCK:
                headers, answer, status = provider.create_token_response(
                    self.uri(), "POST", body, dict(self.headers))
            document = json.loads(answer)
            self.note({"path": path, "grant_type": form.get("grant_type"), "status": status,
                       "code_verifier": bool(form.get("code_verifier")),
                       "client_secret": bool(form.get("client_secret")),
                       "error": document.get("error"),
                       # Issued, so a test can look for them where they must not be.
                       "access_token": document.get("access_token"),
                       "refresh_token": document.get("refresh_token"),
                       "scope": document.get("scope")})
            if status == 200 and "access_token" in document:
                with LOCK:
                    user = provider.request_validator.access[document["access_token"]]["user"]
                document["id_token"] = id_token_for(user)
                answer = json.dumps(document)
            return self.answer(status, headers, answer)
        if path == "/introspect":
            # Asked by the tests' SMTP server, a resource server that is no
            # registered client: answered from the tokens issued (RFC 7662 2.2).
            with LOCK:
                saved = provider.request_validator.access.get(form.get("token", ""))
                document = {"active": False}
                if saved and saved["expires_at"] > time.time():
                    document = {"active": True, "username": saved["user"],
                                "scope": " ".join(saved["scopes"] or []),
                                "client_id": saved["client_id"]}
            self.note({"path": path, "active": document["active"]})
            return self.answer(200, {"Content-Type": "application/json"}, json.dumps(document))
        if path == "/control/revoke":
            with LOCK:
                provider.request_validator.refresh.clear()
            self.note({"path": path})
            return self.answer(200, {}, "revoked")
        return self.answer(404, {}, "not found")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--client-id", required=True)
    parser.add_argument("--client-secret", default="")
    parser.add_argument("--expires-in", type=int, default=3600)
    parser.add_argument("--grant-scope", default="")
    parser.add_argument("--refuse", default="")
    parser.add_argument("--refuse-refresh", default="")
    parser.add_argument("--log", default="")
    arguments = parser.parse_args()

    validator = Validator(arguments)
    server = ThreadingHTTPServer(("127.0.0.1", arguments.port), Handler)
    server.arguments = arguments
    server.provider = Server(validator, token_expires_in=arguments.expires_in)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(arguments.cert, arguments.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
