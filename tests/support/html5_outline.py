# Reads an HTML file as a browser does (html5lib, an HTML5 parser; the
# encoding from the document itself) and prints what it found, one item a
# line, with backslash, CR and LF escaped:
#   tag NAME            every element, in document order
#   attr TAG.NAME VALUE every attribute
#   text TEXT           the body's text, as a reader sees it
#   title TEXT          the document's title
import sys

import html5lib


def escaped(text):
    return text.replace('\\', '\\\\').replace('\r', '\\r').replace('\n', '\\n')


def text_of(element):
    """The text a reader sees: comments are not read."""
    if not isinstance(element.tag, str):
        return ''
    parts = [element.text or '']
    for child in element:
        parts.append(text_of(child))
        parts.append(child.tail or '')
    return ''.join(parts)


def main():
    with open(sys.argv[1], 'rb') as f:
        document = html5lib.parse(f.read(), treebuilder='etree', namespaceHTMLElements=False)
    out = []
    for element in document.iter():
        if not isinstance(element.tag, str):
            continue  # a comment
        out.append('tag ' + element.tag)
        for name, value in element.attrib.items():
            out.append('attr %s.%s %s' % (element.tag, name, escaped(value)))
    body = document.find('body')
    out.append('text ' + escaped(text_of(body) if body is not None else ''))
    title = document.find('head/title')
    out.append('title ' + escaped(title.text or '' if title is not None else ''))
    sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))


main()
