"""Parses a readerctl HTML report and prints what a reader of it would see:
the table rows, the charts, any external reference. Fails on mismatched tags."""
import html.parser
import json
import sys

VOID = {"meta", "br", "img", "hr", "input", "link", "line", "rect"}


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.open = []
        self.rows = []
        self.charts = 0
        self.external = []
        self.text = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("src", "href") or (value or "").startswith("url("):
                self.external.append(value)
        if tag == "svg":
            self.charts += 1
        if tag == "tr":
            self.rows.append([])
        if tag not in VOID:
            self.open.append(tag)

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in VOID:
            self.open.pop()

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if not self.open or self.open[-1] != tag:
            raise SystemExit(f"mismatched </{tag}> at {self.getpos()}")
        self.open.pop()

    def handle_data(self, data):
        if self.open and self.open[-1] in ("td", "th") and self.rows:
            self.rows[-1].append(data.strip())
        self.text.append(data)


page = Page()
page.feed(open(sys.argv[1], encoding="utf-8").read())
page.close()
if page.open:
    raise SystemExit(f"unclosed {page.open}")
print(json.dumps({"rows": page.rows, "charts": page.charts, "external": page.external,
                  "text": "".join(page.text)}, ensure_ascii=False))
