#!/usr/bin/python3
"""lint's CI formats as their readers take them: SARIF checked against the SARIF 2.1.0
schema (tests/ci/sarif-schema-2.1.0.json) and GitHub annotations as the runner splits them.

Usage: sarif_test.py BUILD_DIR EXAMPLES_DIR
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

import jsonschema

BUILD, EXAMPLES = (os.path.abspath(a) for a in sys.argv[1:3])
INSPECT = os.path.join(BUILD, "branding-package-inspect")
HERE = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(HERE, "sarif-schema-2.1.0.json"), encoding="utf-8") as f:
    SCHEMA = json.load(f)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def lint(*args, cwd=None):
    run = subprocess.run([INSPECT, "lint", *args], capture_output=True, cwd=cwd, check=False)
    return run.returncode, run.stdout.decode("utf-8"), run.stderr.decode("utf-8", "replace")


def sarif(name, *args, cwd=None):
    """The log of one run, checked against the schema and against itself."""
    status, out, _ = lint("--format", "sarif", *args, cwd=cwd)
    try:
        log = json.loads(out)
        jsonschema.validate(log, SCHEMA, cls=jsonschema.Draft4Validator,
                            format_checker=jsonschema.FormatChecker())
    except (ValueError, jsonschema.ValidationError) as error:
        check(False, f"{name}: not a valid SARIF 2.1.0 log: {error}")
        return status, {"results": [], "invocations": [{}], "tool": {"driver": {"rules": []}}}
    run = log["runs"][0]
    rules = run["tool"]["driver"]["rules"]
    check(run["invocations"][0]["exitCode"] == status, f"{name}: exitCode is the status")
    for result in run["results"]:
        rule = rules[result["ruleIndex"]]
        check(rule["id"] == result["ruleId"], f"{name}: ruleIndex points at its rule")
        check(rule["help"]["text"] and rule["fullDescription"]["text"], f"{name}: rules have help")
    return status, run


def main():
    with tempfile.TemporaryDirectory() as tmp:
        for image in ("icon.png", "logo.jpg"):
            shutil.copy(os.path.join(EXAMPLES, image), tmp)
        # A sound layout: no results, a successful run, every finding of the catalogue a rule.
        status, run = sarif("sound", os.path.join(EXAMPLES, "layout.xml"),
                            os.path.join(tmp, "icon.png"), os.path.join(tmp, "logo.jpg"))
        check(status == 0 and run["results"] == [], "sound: no results")
        check(run["invocations"][0].get("executionSuccessful") is True, "sound: ran")
        ids = [r["id"] for r in run["tool"]["driver"]["rules"]]
        explained = subprocess.run([INSPECT, "lint", "--explain", "all"], capture_output=True,
                                   check=True).stdout.decode()
        check(ids and all(f"`{i}`" in explained for i in ids) and len(ids) == len(set(ids)),
              "rules are the catalogue")
        check(ids[-4:] == ["package-unreadable", "package-structure", "layout-unreadable",
                           "policy-unusable"],
              "the faults are the last rules")
        check(run["tool"]["driver"]["informationUri"].startswith("file:///"), "informationUri")

        # Findings in a file whose name needs encoding, on lines with characters of two
        # bytes before them, the second line's column smaller than the first's.
        name = "brand é, 50%#1.xml"
        with open(os.path.join(tmp, name), "w", encoding="utf-8") as f:
            f.write('<vantu-client-branding version="1.0"><app-name>Dé</app-name>'
                    '<app-icon>icon.png</app-icon><toolbar-menu><about-item>A</about-item>'
                    '<quit-item>Q</quit-item></toolbar-menu><about title="T"><line align="left">'
                    '<hyperlink url="htps://example.com/">x</hyperlink>\n  <logo>gone.png</logo>'
                    '</line></about></vantu-client-branding>\n')
        status, run = sarif("findings", name, "icon.png", cwd=tmp)
        check(status == 6, f"findings: status {status}")
        by_rule = {r["ruleId"]: r for r in run["results"]}
        check(set(by_rule) == {"link-url", "missing-image"}, f"findings: {sorted(by_rule)}")
        if "missing-image" in by_rule:
            location = by_rule["missing-image"]["locations"][0]["physicalLocation"]
            uri = location["artifactLocation"]["uri"]
            check(urllib.parse.unquote(uri) == name and " " not in uri and "#" not in uri,
                  f"findings: uri {uri}")
            text = open(os.path.join(tmp, name), encoding="utf-8").read()
            column = text.index("<logo>") - text.index("\n")
            check(location["region"] == {"startLine": 2, "startColumn": column},
                  f"findings: region {location['region']}, expected column {column} in characters")
            check(by_rule["missing-image"]["level"] == "error", "findings: an error's level")
        if "link-url" in by_rule:
            check(by_rule["link-url"]["level"] == "warning", "findings: a warning's level")
        check(run["columnKind"] == "unicodeCodePoints", "findings: columns are characters")

        # --deny makes a warning an error; --allow leaves a kind out, as SARIF records it.
        status, run = sarif("deny", name, "icon.png", "--deny", "link-url", cwd=tmp)
        levels = {r["ruleId"]: r["level"] for r in run["results"]}
        check(levels.get("link-url") == "error", f"deny: {levels}")
        status, run = sarif("allow", name, "icon.png", "--allow", "link-url", cwd=tmp)
        check([r["ruleId"] for r in run["results"] if "suppressions" not in r] == ["missing-image"]
              and [(r["ruleId"], r["suppressions"]) for r in run["results"] if "suppressions" in r]
              == [("link-url", [{"kind": "external"}])], "allow: recorded as suppressed")

        # An absolute path is a file: URI.
        status, run = sarif("absolute", os.path.join(tmp, name), os.path.join(tmp, "icon.png"))
        uris = {r["locations"][0]["physicalLocation"]["artifactLocation"]["uri"]
                for r in run["results"]}
        check(all(u.startswith("file:///") for u in uris), f"absolute: {uris}")

        # A layout that cannot be read: a log of a failed run, status 2, with an error result
        # that report converters show.
        status, run = sarif("missing", os.path.join(tmp, "none.xml"))
        invocation = run["invocations"][0]
        check(status == 2 and invocation.get("executionSuccessful") is False and
              "none.xml" in invocation["toolExecutionNotifications"][0]["message"]["text"],
              "missing: a failed run with its reason")
        check([(r["ruleId"], r["level"]) for r in run["results"]] == [("layout-unreadable", "error")],
              "missing: an error result")

        # The user's CI job: a policy file beside the layout, an inline suppression, the log
        # written from another folder relative to the project.
        project = os.path.join(tmp, "project")
        os.makedirs(os.path.join(project, "branding"))
        shutil.copy(os.path.join(EXAMPLES, "icon.png"), os.path.join(project, "branding"))
        shutil.copy(os.path.join(EXAMPLES, "logo.jpg"), os.path.join(project, "branding"))
        text = open(os.path.join(EXAMPLES, "layout.xml"), encoding="utf-8").read()
        text = text.replace("https://", "htps://", 1).replace(
            "<app-name>", "<!-- branding-lint: allow empty-text -->\n<app-name>", 1)
        text = text.replace("<app-name>Demo</app-name>", "<app-name></app-name>", 1)
        with open(os.path.join(project, "layout.xml"), "w", encoding="utf-8") as out:
            out.write(text)
        with open(os.path.join(project, ".branding-lint"), "w", encoding="utf-8") as out:
            out.write("# the project's policy\ndeny = link-url, empty-text\ndir = branding\n")
        status, run = sarif("ci", os.path.join(project, "layout.xml"), "--sarif-root", project,
                            cwd=tmp)
        by_rule = {r["ruleId"]: r for r in run["results"]}
        check(status == 5 and by_rule.get("link-url", {}).get("level") == "error",
              f"ci: the file's deny ({status}, {sorted(by_rule)})")
        # Suppressed in the source, the denied finding keeps the level its rule is given.
        check(by_rule.get("empty-text", {}).get("suppressions") == [{"kind": "inSource"}] and
              by_rule["empty-text"].get("level") == "error", "ci: the inline suppression")
        overrides = run["invocations"][0].get("ruleConfigurationOverrides", [])
        check([(o["descriptor"]["id"], o["configuration"]["level"]) for o in overrides]
              == [("empty-text", "error"), ("link-url", "error")], f"ci: overrides {overrides}")
        location = by_rule.get("link-url", {}).get("locations", [{}])[0].get(
            "physicalLocation", {}).get("artifactLocation", {})
        check(location == {"uri": "layout.xml", "uriBaseId": "SRCROOT"} and
              run["originalUriBaseIds"]["SRCROOT"]["uri"].endswith("/project/"),
              f"ci: uri relative to SRCROOT {location}")

        # GitHub: one command a finding; the file's ',' and ':' cannot split the properties.
        odd = "a,b:c.xml"
        shutil.copy(os.path.join(tmp, name), os.path.join(tmp, odd))
        status, out, _ = lint("--format", "github", odd, "icon.png", cwd=tmp)
        lines = out.splitlines()
        check(status == 6 and len(lines) == 2, f"github: {status} {lines}")
        check(f"::error file=a%2Cb%3Ac.xml,line=2,col={column},title=missing-image::" in out,
              f"github: {out}")
        check(all(line.startswith(("::error ", "::warning ", "::notice ")) for line in lines),
              "github: every line a workflow command")

    if failures:
        print(f"{len(failures)} failed")
        return 1
    print("all passed")
    return 0


sys.exit(main())
