#!/usr/bin/env python3
"""Writes index.html into a release folder, so that the folder can be
published as it is: the show's video with its chapters and poster, the
scenes that seek it, every package and tarball with the Debian release and
architecture its name gives, its size and SHA-256 (read from the file) and
the command that installs it, the contact sheet, and how to run the intro.
Everything is derived from the files there; the page fetches nothing from
elsewhere (its one style sheet and script are inline, allowed by hash).

usage: make_release_page.py DIST"""

import base64
import hashlib
import html
import os
import re
import sys
import tarfile
import urllib.parse

RELEASES = {"12": "bookworm", "13": "trixie"}
ARCHITECTURES = {"amd64": "x86-64", "arm64": "aarch64"}
ICON = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets", "intro_icon.png")

# Names in a release folder: (kind, pattern); the version is the group "version".
BUILD = r"(?P<version>\d[0-9A-Za-z.+]*)-(?P<revision>[0-9A-Za-z.+]+)~deb(?P<debian>\d+)u\d+_(?P<arch>[a-z0-9]+)"
KINDS = [
    ("show", re.compile(r"intro_%s\.deb$" % BUILD)),
    ("tools", re.compile(r"intro-tools_%s\.deb$" % BUILD)),
    ("tarball", re.compile(r"intro_%s\.tar\.gz$" % BUILD)),
    ("video", re.compile(r"intro_(?P<version>\d[0-9A-Za-z.+]*)_(?P<width>\d+)x(?P<height>\d+)_(?P<fps>\d+)fps"
                         r"\.(?P<container>mp4|webm)$")),
    ("chapters", re.compile(r"intro_(?P<version>\d[0-9A-Za-z.+]*)_chapters\.vtt$")),
    ("poster", re.compile(r"intro_(?P<version>\d[0-9A-Za-z.+]*)_poster\.png$")),
    ("contact sheet", re.compile(r"intro_(?P<version>\d[0-9A-Za-z.+]*)_contact_sheet\.png$")),
    ("sums", re.compile(r"SHA256SUMS$")),
]
VIDEO_TYPES = {"mp4": "video/mp4", "webm": "video/webm"}

STYLE = """
:root { color-scheme: dark; --ink: #e9e6df; --dim: #a3aab2; --ground: #0d1014; --panel: #161b21;
        --line: #2a323b; --lamp: #f2c14e; }
* { box-sizing: border-box; }
body { margin: 0; background: var(--ground); color: var(--ink);
       font: clamp(1rem, 0.92rem + 0.35vw, 1.35rem)/1.55 system-ui, sans-serif; }
main { max-width: 64rem; margin: 0 auto; padding: 1.5rem clamp(0.9rem, 4vw, 2.5rem) 3rem; }
h1 { font-size: 2em; line-height: 1.15; margin: 0.4em 0 0.2em; }
h1 small { display: block; font-size: 0.5em; color: var(--dim); font-weight: normal; }
h2 { font-size: 1.35em; margin: 2em 0 0.6em; border-bottom: 1px solid var(--line); padding-bottom: 0.2em; }
h3 { font-size: 1.1em; margin: 1.4em 0 0.5em; }
a { color: var(--lamp); }
video, img { display: block; width: 100%; height: auto; background: #000; border-radius: 4px; }
ol.scenes { list-style: none; padding: 0; margin: 0.8em 0 0; display: flex; flex-wrap: wrap; gap: 0.4em; }
ol.scenes a { display: block; padding: 0.3em 0.7em; border: 1px solid var(--line); border-radius: 4px;
              background: var(--panel); text-decoration: none; color: var(--ink); }
ol.scenes a[aria-current] { border-color: var(--lamp); color: var(--lamp); }
ol.scenes time { color: var(--dim); font-variant-numeric: tabular-nums; margin-right: 0.4em; }
.build { background: var(--panel); border: 1px solid var(--line); border-radius: 6px; padding: 0.2em 1em 0.4em;
         margin: 1em 0; }
.build h3 { margin: 0.6em 0 0.4em; }
.whole { white-space: nowrap; }
.file { border-top: 1px solid var(--line); padding: 0.6em 0; }
.file h4 { margin: 0; font-size: 1em; overflow-wrap: anywhere; }
.file p { margin: 0.3em 0; }
.facts { color: var(--dim); }
code, pre { font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: 0.9em; }
.hash code { overflow-wrap: anywhere; }
pre { background: #0a0c0f; border: 1px solid var(--line); border-radius: 4px; padding: 0.5em 0.7em; margin: 0.5em 0;
      white-space: pre-wrap; overflow-wrap: anywhere; }
figure { margin: 1em 0; }
figcaption { color: var(--dim); font-size: 0.9em; margin-top: 0.4em; }
"""

# Seeks the player to a scene when its link is clicked, and marks the scene playing.
SCRIPT = """
const player = document.getElementById("show");
const scenes = Array.from(document.querySelectorAll("ol.scenes a"));
for (const link of scenes) {
  link.addEventListener("click", event => {
    event.preventDefault();
    player.currentTime = Number(link.dataset.start);
    player.scrollIntoView({block: "nearest"});
    player.play().catch(() => {});
  });
}
player.addEventListener("timeupdate", () => {
  for (const link of scenes) {
    const now = player.currentTime >= Number(link.dataset.start) && player.currentTime < Number(link.dataset.end);
    if (now) link.setAttribute("aria-current", "time"); else link.removeAttribute("aria-current");
  }
});
"""


def fail(message):
    sys.stderr.write("make_release_page: %s\n" % message)
    sys.exit(1)


def describe(name):
    """(kind, fields) of a release file's name, or ("other", {})."""
    for kind, pattern in KINDS:
        found = pattern.match(name)
        if found:
            return kind, found.groupdict()
    return "other", {}


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def size_text(size):
    for unit, scale in (("GB", 1e9), ("MB", 1e6), ("kB", 1e3)):
        if size >= scale:
            return "%.1f %s" % (size / scale, unit)
    return "%d bytes" % size


def clock_text(seconds):
    whole = int(seconds)
    return "%d:%02d" % (whole // 60, whole % 60)


def release_text(debian):
    codename = RELEASES.get(debian)
    return "Debian %s \u201c%s\u201d" % (debian, codename) if codename else "Debian %s" % debian


def architecture_text(arch):
    return "%s (%s)" % (ARCHITECTURES[arch], arch) if arch in ARCHITECTURES else arch


def read_chapters(path):
    """(title, start, end) of each cue of a WebVTT chapters file, in seconds."""
    def seconds(stamp):
        parts = [float(p) for p in stamp.strip().split(":")]
        return sum(p * 60 ** i for i, p in enumerate(reversed(parts)))
    with open(path, encoding="utf-8") as f:
        text = f.read().replace("\r\n", "\n")
    if not text.startswith("WEBVTT"):
        fail("%s is not a WebVTT file" % path)
    cues = []
    for block in text.split("\n\n")[1:]:
        lines = [line for line in block.split("\n") if line]
        timing = next((i for i, line in enumerate(lines) if "-->" in line), None)
        if timing is None:
            continue
        start, end = lines[timing].split("-->")
        title = html.unescape(" ".join(lines[timing + 1:]))
        cues.append((title, seconds(start), seconds(end.split()[0])))
    return cues


def intro_in_tarball(path):
    """The relative path of the show's program inside a tarball, or None."""
    try:
        with tarfile.open(path) as archive:
            names = [os.path.normpath(m.name) for m in archive if m.isfile()]
    except (tarfile.TarError, OSError, EOFError):
        fail("%s is not a readable tarball" % path)
    return next((n for n in names if n.endswith("games/intro") and not n.startswith(("/", ".."))), None)


def href(name):
    return html.escape(urllib.parse.quote(name))


def inline_hash(text):
    return "'sha256-%s'" % base64.b64encode(hashlib.sha256(text.encode()).digest()).decode()


class Release:
    def __init__(self, folder):
        self.folder = folder
        self.files = {}  # kind -> [(name, fields)]
        versions = set()
        for name in sorted(os.listdir(folder)):
            if name == "index.html" or not os.path.isfile(os.path.join(folder, name)):
                continue
            kind, fields = describe(name)
            self.files.setdefault(kind, []).append((name, fields))
            if "version" in fields:
                versions.add(fields["version"])
        if len(versions) != 1:
            fail("%s holds %s" % (folder, "files of versions %s" % ", ".join(sorted(versions)) if versions
                                  else "no file of a release"))
        self.version = versions.pop()

    def path(self, name):
        return os.path.join(self.folder, name)

    def first(self, kind):
        found = self.files.get(kind)
        return found[0][0] if found else None


def video_section(release):
    videos = release.files.get("video", [])
    if not videos:
        return ""
    # The largest picture is the one the page plays; its other containers are further sources.
    best = max(videos, key=lambda v: (int(v[1]["width"]) * int(v[1]["height"]), int(v[1]["fps"])))[1]
    sources = [(name, fields) for name, fields in videos
               if (fields["width"], fields["height"], fields["fps"]) == (best["width"], best["height"], best["fps"])]
    sources.sort(key=lambda v: v[1]["container"] != "webm")  # where a browser has both, WebM first
    chapters_file, poster = release.first("chapters"), release.first("poster")
    cues = read_chapters(release.path(chapters_file)) if chapters_file else []
    lines = ['<video id="show" controls preload="metadata" playsinline width="%s" height="%s"%s>'
             % (best["width"], best["height"], ' poster="%s"' % href(poster) if poster else "")]
    for name, fields in sources:
        lines.append('  <source src="%s" type="%s">' % (href(name), VIDEO_TYPES[fields["container"]]))
    if chapters_file:
        lines.append('  <track kind="chapters" label="Scenes" srclang="en" src="%s" default>' % href(chapters_file))
    lines.append('  <p>Your browser does not play the video here: <a href="%s">download it</a>.</p>'
                 % href(sources[-1][0]))
    lines.append("</video>")
    if cues:
        lines.append('<ol class="scenes" aria-label="Scenes">')
        for title, start, end in cues:
            lines.append('  <li><a href="%s#t=%.3f" data-start="%.3f" data-end="%.3f"><time>%s</time>%s</a></li>'
                         % (href(sources[-1][0]), start, start, end, clock_text(start), html.escape(title)))
        lines.append("</ol>")
    facts = ["%s \u00d7 %s pixels" % (best["width"], best["height"]), "%s frames a second" % best["fps"]]
    if cues:
        facts.append(clock_text(cues[-1][2]))
    lines.append('<p class="facts">The whole show as the intro draws and plays it, captured frame by frame: %s. '
                 'Download: %s.</p>' % (", ".join(facts), ", ".join(
                     '<a href="%s">%s</a> (%s)' % (href(name), fields["container"].upper(),
                                                   size_text(os.path.getsize(release.path(name))))
                     for name, fields in sources)))
    return "\n".join(lines)


def download_entry(release, name, kind):
    path = release.path(name)
    if kind == "tarball":
        what, command = "The show and its tools in one tarball, for unpacking anywhere", "tar -xzf " + name
        program = intro_in_tarball(path)
        if program:
            command += "\n./" + program
    else:
        what = "The show" if kind == "show" else "Its tools: capture_show, render_module, make_prepared"
        command = "sudo apt install ./" + name
    return "\n".join([
        '<div class="file">',
        '  <h4><a href="%s">%s</a></h4>' % (href(name), html.escape(name)),
        "  <p>%s \u00b7 %s</p>" % (html.escape(what), size_text(os.path.getsize(path))),
        '  <p class="hash">SHA-256 <code>%s</code></p>' % sha256(path),
        "  <pre><code>%s</code></pre>" % html.escape(command),
        "</div>"])


def downloads_section(release):
    order = {"show": 0, "tools": 1, "tarball": 2}
    builds = {}  # (debian, arch) -> [(name, kind)]
    for kind in order:
        for name, fields in release.files.get(kind, []):
            builds.setdefault((fields["debian"], fields["arch"]), []).append((name, kind))
    sums, others = release.first("sums"), release.files.get("other", [])
    if not builds and not sums and not others:
        return ""
    lines = ["<h2>Download</h2>"]
    if builds:
        lines.append("<p>apt installs a package with the libraries it needs; a tarball holds the same files and "
                     "needs the same libraries.</p>")
    # The newest Debian first; x86-64 before the rest.
    for debian, arch in sorted(builds, key=lambda b: (-int(b[0]), b[1] != "amd64", b[1])):
        lines.append('<section class="build">')
        lines.append('<h3>%s on <span class="whole">%s</span></h3>' % (html.escape(release_text(debian)),
                                                                     html.escape(architecture_text(arch))))
        entries = sorted(builds[(debian, arch)], key=lambda entry: order[entry[1]])
        lines.extend(download_entry(release, name, kind) for name, kind in entries)
        lines.append("</section>")
    if sums:
        lines.append('<p>Every file\u2019s SHA-256 is in <a href="%s">%s</a>; beside the files you downloaded, '
                     "check them with:</p>" % (href(sums), sums))
        lines.append("<pre><code>sha256sum -c --ignore-missing %s</code></pre>" % sums)
    if others:
        lines.append("<h3>%s</h3><ul>" % ("Other files" if builds else "Files"))
        lines.extend('<li><a href="%s">%s</a> (%s)</li>' % (href(name), html.escape(name),
                                                            size_text(os.path.getsize(release.path(name))))
                     for name, _ in others)
        lines.append("</ul>")
    return "\n".join(lines)


def contact_sheet_section(release):
    sheet = release.first("contact sheet")
    if not sheet:
        return ""
    return ('<h2>Every scene</h2>\n<figure>\n  <a href="%s"><img src="%s" alt="A frame from the middle of each of '
            'the eight scenes, labelled with its name and time"></a>\n  <figcaption>The contact sheet: a frame from '
            "the middle of each scene, in the show\u2019s order.</figcaption>\n</figure>" % (href(sheet), href(sheet)))


RUNNING = """<h2>Running it</h2>
<p>Once the package is installed, <code>intro</code> is in the desktop\u2019s menu under Games and in
<code>/usr/games</code>; it opens full screen on the primary monitor and ends by itself after the
credits, or when you press Escape:</p>
<pre><code>intro</code></pre>
<p>It needs an X11 or Wayland desktop (on Wayland it runs through XWayland), OpenGL with a stencil
buffer (Mesa\u2019s software renderer will do) and a PulseAudio or PipeWire sound server; without one
the show is silent and stays on the welcome screen.
The tools package makes your own video of the show and renders its music:</p>
<pre><code>capture_show --size 1280x720 --fps 30 show.mp4
render_module /path/to/song.xm song.wav</code></pre>
<p>Each has a manual page (<code>man 6 intro</code>, <code>man 1 capture_show</code>, \u2026).</p>"""


def page(release):
    icon = '<link rel="icon" href="data:,">'  # no icon rather than a request that fails
    if os.path.isfile(ICON):
        with open(ICON, "rb") as f:
            icon = '<link rel="icon" href="data:image/png;base64,%s">' % base64.b64encode(f.read()).decode()
    title = "Korvatel intro %s \u2013 Lanternworks & Brackenridge conference" % release.version
    policy = ("default-src 'none'; img-src 'self' data:; media-src 'self'; style-src %s; script-src %s"
              % (inline_hash(STYLE), inline_hash(SCRIPT)))
    body = [
        "<h1>Korvatel intro<small>for the Lanternworks &amp; Brackenridge conference \u00b7 release %s</small></h1>"
        % html.escape(release.version),
        "<p>A self-contained audiovisual demo: one program that opens a full-screen OpenGL window, plays its own "
        "tracker music and runs a fixed show of eight scenes keyed to the music, from a boot console to the "
        "credits. Everything it shows and plays is made by its own generators and built into it; it runs on "
        "Linux on x86-64 and aarch64.</p>",
        video_section(release),
        contact_sheet_section(release),
        downloads_section(release),
        RUNNING,
    ]
    return "\n".join([
        "<!DOCTYPE html>",
        '<html lang="en">',
        "<head>",
        '<meta charset="utf-8">',
        '<meta name="viewport" content="width=device-width, initial-scale=1">',
        '<meta http-equiv="Content-Security-Policy" content="%s">' % policy,
        "<title>%s</title>" % html.escape(title),
        icon,
        "<style>%s</style>" % STYLE,
        "</head>",
        "<body>",
        "<main>",
        "\n".join(part for part in body if part),
        "</main>",
        "<script>%s</script>" % SCRIPT,
        "</body>",
        "</html>",
        ""])


def main(argv):
    if len(argv) != 2 or argv[1].startswith("-"):
        sys.stderr.write(__doc__.split("\n\n")[-1] + "\n")
        return 2
    folder = argv[1]
    if not os.path.isdir(folder):
        fail("%s is not a folder" % folder)
    text = page(Release(folder))
    target = os.path.join(folder, "index.html")
    partial = target + ".partial"
    with open(partial, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(partial, target)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
