#!/usr/bin/python3
"""Renders the README (Markdown) as one HTML page: the user manual on the medium.

Usage: readme_html.py README.md OUT.html

Knows what the README uses: headings, paragraphs, lists, fenced code, tables,
inline code, bold and links. Standard library only.
"""
import html
import re
import sys


def inline(text):
    parts = re.split(r"(`[^`]*`)", text)
    out = []
    for part in parts:
        if part.startswith("`") and part.endswith("`") and len(part) >= 2:
            out.append("<code>" + html.escape(part[1:-1]) + "</code>")
            continue
        part = html.escape(part, quote=False)
        part = re.sub(r"\*\*([^*]+)\*\*", r"<strong>\1</strong>", part)
        part = re.sub(r"\[([^\]]+)\]\(([^)\s]+)\)", r'<a href="\2">\1</a>', part)
        out.append(part)
    return "".join(out)


def render(lines, title):
    out = ["<!DOCTYPE html>", '<html lang="en"><head><meta charset="utf-8">',
           "<title>" + html.escape(title) + "</title>",
           "<style>body{font-family:sans-serif;max-width:60em;margin:2em auto;line-height:1.4}"
           "pre{background:#f4f4f4;padding:.6em;overflow-x:auto}code{background:#f4f4f4}"
           "table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:.2em .5em}</style>",
           "</head><body>"]
    paragraph, items, table = [], [], []
    in_code = False

    def flush():
        if paragraph:
            out.append("<p>" + inline(" ".join(paragraph)) + "</p>")
            paragraph.clear()
        if items:
            out.append("<ul>" + "".join("<li>" + inline(i) + "</li>" for i in items) + "</ul>")
            items.clear()
        if table:
            rows = [r for r in table if not re.fullmatch(r"\|?[\s:|-]+\|?", r)]
            cells = [[c.strip() for c in r.strip().strip("|").split("|")] for r in rows]
            body = "".join("<tr>" + "".join(("<th>" if n == 0 else "<td>") + inline(c) +
                                            ("</th>" if n == 0 else "</td>") for c in row) + "</tr>"
                           for n, row in enumerate(cells))
            out.append("<table>" + body + "</table>")
            table.clear()

    for raw in lines:
        line = raw.rstrip("\n")
        if line.startswith("```"):
            if in_code:
                out.append("</pre>")
            else:
                flush()
                out.append("<pre>")
            in_code = not in_code
            continue
        if in_code:
            out.append(html.escape(line, quote=False))
            continue
        heading = re.match(r"(#{1,6})\s+(.*)", line)
        if heading:
            flush()
            level = len(heading.group(1))
            out.append("<h%d>%s</h%d>" % (level, inline(heading.group(2)), level))
        elif re.match(r"\s*[-*]\s+", line):
            if paragraph or table:
                flush()
            items.append(re.sub(r"^\s*[-*]\s+", "", line))
        elif line.startswith("|"):
            if paragraph or items:
                flush()
            table.append(line)
        elif not line.strip():
            flush()
        elif items and raw.startswith(" "):
            items[-1] += " " + line.strip()
        else:
            if items or table:
                flush()
            paragraph.append(line.strip())
    if in_code:
        out.append("</pre>")
    flush()
    out.append("</body></html>")
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: readme_html.py README.md OUT.html\n")
        return 2
    with open(sys.argv[1], encoding="utf-8") as f:
        lines = f.readlines()
    title = next((l.lstrip("#").strip() for l in lines if l.startswith("# ")), "Manual")
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write(render(lines, title))
    return 0


if __name__ == "__main__":
    sys.exit(main())
