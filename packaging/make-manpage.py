#!/usr/bin/env python3
"""Writes the man page quillfire(1) from the CLI's own --help, so that the
page says what the program says.

    make-manpage.py QUILLFIRE VERSION EPOCH > quillfire.1

QUILLFIRE is the program to ask (its --help is read), VERSION the version
for the title line and EPOCH the seconds since 1970 that date the page (the
commit's time, so that the same commit gives the same page).

The help is read block by block (blocks are separated by blank lines): the
usage lines become the synopsis, the list of commands the commands section,
a block that starts with a heading ending in ':' a subsection of entries
(an entry starts at column 2 with '-'; its text begins after a gap of three
or more spaces or on the next lines), the table of glue modes stays a table,
and the closing paragraphs the notes and the exit status."""
import re
import subprocess
import sys
import time


def roff(text):
    """Text as roff reads it literally."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def paragraph(lines):
    return " ".join(line.strip() for line in lines)


def entries(lines):
    """The entries of an option list: [(term, text)]."""
    out = []
    for line in lines:
        if re.match(r"^ {1,3}\S", line):
            parts = re.split(r" {3,}", line.strip(), maxsplit=1)
            term, text = parts[0], parts[1] if len(parts) > 1 else ""
            if out and not out[-1][1]:
                # A term with no text of its own shares the next one's.
                out[-1] = (out[-1][0] + "  " + term, text)
            else:
                out.append((term, text))
        elif out:
            out[-1] = (out[-1][0], (out[-1][1] + " " + line.strip()).strip())
        else:
            raise SystemExit("make-manpage: an option text before any option: " + line)
    return out


def heading_end(block):
    """The number of heading lines of a block that starts with a heading
    ending in ':' followed by indented lines; None for another block."""
    for i, line in enumerate(block[:3]):
        if line.rstrip().endswith(":") and not line.startswith(" "):
            return i + 1 if i + 1 < len(block) and block[i + 1].startswith(" ") else None
    return None


def page(help_text, version, epoch):
    date = time.strftime("%Y-%m-%d", time.gmtime(epoch))
    blocks = [b.split("\n") for b in re.split(r"\n\s*\n", help_text.strip("\n"))]
    out = [
        '.TH QUILLFIRE 1 "%s" "quillfire %s" "User Commands"' % (date, version),
        ".SH NAME",
        "quillfire \\- colourful patterns of soft\\-edged shapes, glued onto pictures "
        "by the Quillfire filter module",
    ]
    notes, exit_status = [], []
    in_options = False
    for block in blocks:
        head = block[0]
        if head == "Usage:":
            out.append(".SH SYNOPSIS")
            out.append(".nf")
            out += [roff(line.strip()) for line in block[1:]]
            out.append(".fi")
            out.append(".SH DESCRIPTION")
            out.append(
                "quillfire runs the Quillfire filter module on image files without an "
                "editor: it loads the module as an image editor does and passes it the "
                "settings given on the command line the way an editor replays a recorded "
                "action. The module, quillfire.so, and the image library it reads and "
                "writes files with, libquillfire_images.so, are in /usr/lib/quillfire."
            )
        elif re.match(r"^[a-z]+ {2,}\S", head):
            out.append(".SH COMMANDS")
            current = None
            for line in block:
                m = re.match(r"^([a-z]+) {2,}(.*)$", line)
                if m:
                    if current:
                        out += [".TP", ".B " + current[0], roff(current[1])]
                    current = (m.group(1), m.group(2))
                elif current:
                    current = (current[0], current[1] + " " + line.strip())
            if current:
                out += [".TP", ".B " + current[0], roff(current[1])]
        elif heading_end(block) is not None:
            n = heading_end(block)
            title, body = paragraph(block[:n]), block[n:]
            if not in_options:
                out.append(".SH OPTIONS")
                in_options = True
            name, _, aside = title.rstrip(":").partition(" (")
            out.append(".SS " + roff(name))
            if aside:
                aside = aside.rstrip(")")
                out += [".PP", roff(aside[:1].upper() + aside[1:] + ".")]
            # Lines at column 0 after the list close the subsection.
            tail = len(body)
            while tail > 0 and re.match(r"^\S", body[tail - 1]):
                tail -= 1
            listed, after = body[:tail], body[tail:]
            if listed and re.match(r"^ +\d", listed[0]):
                out += [".PP", ".nf"] + [roff(line) for line in listed] + [".fi"]
            else:
                for term, text in entries(listed):
                    out += [".TP", ".B " + roff(term), roff(text)]
            if after:
                out += [".PP", roff(paragraph(after))]
        elif head.startswith("Exit status:"):
            exit_status.append(paragraph(block)[len("Exit status:"):].strip())
        elif head.startswith("  "):
            raise SystemExit("make-manpage: a block of the help not understood: " + head)
        else:
            # A block may end with the exit status.
            text = paragraph(block)
            at = text.find("Exit status:")
            if at >= 0:
                exit_status.append(text[at + len("Exit status:"):].strip())
                text = text[:at].strip()
            if text:
                notes.append(text)
    if notes:
        out.append(".SH NOTES")
        for text in notes:
            out += [".PP", roff(text)]
    if exit_status:
        out.append(".SH EXIT STATUS")
        for text in exit_status:
            out += [".PP", roff(text)]
    out += [
        ".SH FILES",
        ".TP",
        ".I /usr/lib/quillfire/quillfire.so",
        "the filter module the CLI loads (another one with \\-\\-module).",
        ".TP",
        ".I /usr/lib/quillfire/libquillfire_images.so",
        "the image library, loaded only by the runs that read or write an image file "
        "through it.",
        ".SH SEE ALSO",
        "The Windows modules, Quillfire.8bf and Quillfire64.8bf, ship in the Windows zip "
        "of the same version.",
    ]
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__.split("\n\n")[1])
    program, version, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    help_text = subprocess.run([program, "--help"], check=True, capture_output=True,
                               text=True).stdout
    sys.stdout.write(page(help_text, version, epoch))


if __name__ == "__main__":
    main()
