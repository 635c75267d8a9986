"""Shared by the table generators: puts the generated definitions into the
code's namespace, after the file's leading comments and includes."""


def in_namespace(text):
    lines = text.rstrip("\n").split("\n")
    k = 0
    for i, line in enumerate(lines):
        s = line.strip()
        if s.startswith("#"):
            k = i + 1
        elif s and not s.startswith("//"):
            break
    head = "\n".join(lines[:k]).rstrip("\n")
    body = "\n".join(lines[k:]).strip("\n")
    return head + "\n\nnamespace qf {\n\n" + body + "\n\n} // namespace qf\n"
