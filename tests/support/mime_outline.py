# Reads a message file with Python's email package (default policy) and
# prints its MIME tree, one part a line, indented by depth:
#   TYPE [charset=...] [cte=...] [cid=...] [disposition=...] [type=...] [defects=N]
# and under each leaf its content as the package decodes it (text as text,
# other parts as hex), with backslash, CR and LF escaped.
import email
import email.policy
import sys


def escaped(text):
    return text.replace('\\', '\\\\').replace('\r', '\\r').replace('\n', '\\n')


def describe(part, depth, out):
    words = [part.get_content_type()]
    if part.get_content_charset():
        words.append('charset=' + part.get_content_charset())
    if part['Content-Transfer-Encoding']:
        words.append('cte=' + str(part['Content-Transfer-Encoding']))
    if part['Content-ID']:
        words.append('cid=' + str(part['Content-ID']))
    if part.get_content_disposition():
        words.append('disposition=' + part.get_content_disposition())
    if part.get_param('type'):
        words.append('type=' + part.get_param('type'))
    if part.defects:
        words.append('defects=%d' % len(part.defects))
    out.append('  ' * depth + ' '.join(words))
    if part.is_multipart():
        for child in part.iter_parts():
            describe(child, depth + 1, out)
    elif part.get_content_maintype() == 'text':
        out.append('  ' * (depth + 1) + escaped(part.get_content()))
    else:
        out.append('  ' * (depth + 1) + part.get_content().hex())


def main():
    with open(sys.argv[1], 'rb') as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    out = []
    describe(message, 0, out)
    sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))


main()
