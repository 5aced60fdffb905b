#!/usr/bin/python3
"""Plays the user's browser in a sign-in: opens the authorization address,
posts the consent form it shows, and follows the redirect back to the
program's loopback address. Started by the program itself as
POSTRIDER_BROWSER, or by a test with the address it printed.

  oauth_browser.py --ca FILE [--user NAME] [--log FILE] ADDRESS
"""

import argparse
import html.parser
import json
import ssl
import sys
import urllib.parse
import urllib.request


class FormReader(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.action = None
        self.fields = {}

    def handle_starttag(self, tag, attributes):
        attributes = dict(attributes)
        if tag == "form":
            self.action = attributes.get("action")
        elif tag == "input" and attributes.get("name"):
            self.fields[attributes["name"]] = attributes.get("value", "")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ca", required=True)
    parser.add_argument("--user", default="")
    parser.add_argument("--log", default="")
    parser.add_argument("address")
    arguments = parser.parse_args()

    context = ssl.create_default_context(cafile=arguments.ca)
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}),
                                         urllib.request.HTTPSHandler(context=context))
    record = {"address": arguments.address}
    try:
        with opener.open(arguments.address, timeout=30) as page:
            text = page.read().decode()
            final = page.geturl()
        reader = FormReader()
        reader.feed(text)
        if reader.action is not None:
            if arguments.user:
                reader.fields["user"] = arguments.user
            target = urllib.parse.urljoin(arguments.address, reader.action)
            data = urllib.parse.urlencode(reader.fields).encode()
            # The answer redirects to the program's loopback address, which
            # this follows as a browser does.
            with opener.open(target, data=data, timeout=30) as page:
                text = page.read().decode()
                final = page.geturl()
        record.update({"final": final, "page": text})
    except Exception as error:  # told in the log, for the test to show
        record["error"] = str(error)
    if arguments.log:
        with open(arguments.log, "a") as log:
            log.write(json.dumps(record) + "\n")
    return 0 if "error" not in record else 1


if __name__ == "__main__":
    sys.exit(main())
