#!/usr/bin/python3
"""tools/report-summary on a log of nginx's format, with damaged lines among the good ones."""
import gzip
import os
import shutil
import subprocess
import sys
import tempfile

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "report-summary")
E = "/download_device_error_stat.php\t10.0.0.9\tagent_id=%s&download_version=1.0.0.1&package_version=%s&error_type=%d&submit_date=1"
S = "/download_device_stat.php\t10.0.0.9\tagent_id=%s&use_time=%d&sizes=52428800"
C = "/get_download_device_xml.php\t10.0.0.9\tagent_id=%s"
day1, day2 = "2026-12-08T23:59:59+08:00\t", "2026-12-09T00:00:01+08:00\t"
lines = [day1 + C % "4501648", day1 + S % ("4501648", 12), day1 + S % ("4501648", 3), day1 + S % ("4501648", 40),
         day1 + E % ("4501648", "2.6.0.1", 7), day1 + E % ("4501648", "2.6.0.1", 7), day1 + E % ("4501648", "0.0.0.0", 2),
         day2 + S % ("4501650", 5), day2 + S % ("4501650", 8), day2 + E % ("4501650", "2.6.0.2", 8),
         # damaged: cut short, a field missing, a bad escape, not UTF-8, a type out of range, a foreign path
         day2 + "/download_device_stat.php\t10.0.0.9", day2 + S % ("4501650", 1) + "\textra",
         day2 + "/download_device_stat.php\t1.2.3.4\tagent_id=1&use_time=2\\q", "garbage \xff",
         day2 + E % ("4501650", "2.6.0.2", 11), day2 + "/other\t1.2.3.4\tagent_id=1",
         day2 + S.replace("%d", "x%s") % ("4501650", "")]
failures = []
with tempfile.TemporaryDirectory() as tmp:
    plain, packed = os.path.join(tmp, "a.log"), os.path.join(tmp, "b.log.gz")
    with open(plain, "wb") as f:
        f.write("\n".join(lines[:9]).encode() + b"\n")
    with gzip.open(packed, "wb") as f:
        f.write("\n".join(lines[9:]).encode("utf-8", "surrogateescape").replace("\xff".encode(), b"\xff") + b"\n")
    run = subprocess.run([TOOL, plain, packed], capture_output=True, text=True)
    out = run.stdout
    print(out)
    rows = {tuple(l.split()[:2]): l.split() for l in out.splitlines()[1:-1]}
    want = {("2026-12-08", "4501648"): ["1", "3", "12", "s", "2:1", "7:2", "2.6.0.1(2)"],
            ("2026-12-09", "4501650"): ["0", "2", "6.5", "s", "8:1", "2.6.0.2(1)"]}
    if run.returncode != 0:
        failures.append("exit code %d: %s" % (run.returncode, run.stderr))
    for key, values in want.items():
        if rows.get(key, [])[2:] != values:
            failures.append("%s: %s, not %s" % (key, rows.get(key), values))
    if shutil.which("gnuplot"):  # optional: scripts/bootstrap does not install it
        png = os.path.join(tmp, "days.png")
        drawn = subprocess.run([TOOL, plain, packed, "--plot", png], capture_output=True)
        with open(png, "rb") if os.path.exists(png) else open(os.devnull, "rb") as f:
            if drawn.returncode != 0 or f.read(8) != b"\x89PNG\r\n\x1a\n":
                failures.append("no plot drawn: %s" % drawn.stderr)
    if "total: 5 installs, 4 failure reports, 2 days; 7 malformed lines skipped" not in out:
        failures.append("the totals line: " + out.splitlines()[-1])
for f in failures:
    print("FAIL: " + f)
sys.exit(1 if failures else 0)
