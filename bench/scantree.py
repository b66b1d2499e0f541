"""The folder tree `zarvo scan` is measured on: 10,000 folders, 500 of them
projects, laid out like a developer's ~/src beside an archive of plain folders.

  work/orgNN/repoNN/        500 git repositories (every fifth also has a
                            package.json), each with .git/{objects,refs,hooks},
                            src/{core,cli,util}, docs and tests, and a few files
  archive/yearN/monthNN/setNN/
                            4,320 plain folders with a file each, the last
                            level at the scan's default depth (4)
  and a few more plain folders to make 10,000.

A scan looks into every plain folder and into no project; find
(-name .git -prune) goes into every folder but the .git ones.
"""

import os

ORGS, REPOS = 20, 25
YEARS, MONTHS, SETS = 10, 12, 36
FOLDERS = 10000


def _touch(path, text=""):
    with open(path, "w") as f:
        f.write(text)


def make_tree(root):
    """Builds the tree under ROOT; returns (folders, projects) made, ROOT included."""
    folders, projects = 1, 0

    def folder(*parts):
        nonlocal folders
        os.makedirs(os.path.join(root, *parts))
        folders += 1
        return os.path.join(root, *parts)

    folder("work")
    for o in range(ORGS):
        folder("work", "org%02d" % o)
        for r in range(REPOS):
            repo = folder("work", "org%02d" % o, "repo%02d" % r)
            projects += 1
            folder(repo, ".git")
            for inner in ("objects", "refs", "hooks"):
                folder(repo, ".git", inner)
            _touch(os.path.join(repo, ".git", "HEAD"), "ref: refs/heads/main\n")
            for inner in ("src", "docs", "tests"):
                folder(repo, inner)
            for inner in ("core", "cli", "util"):
                folder(repo, "src", inner)
                _touch(os.path.join(repo, "src", inner, "main.c"))
            _touch(os.path.join(repo, "README.md"), "# repo\n")
            if r % 5 == 0:
                _touch(os.path.join(repo, "package.json"), "{}\n")
    folder("archive")
    for y in range(YEARS):
        folder("archive", "year%d" % y)
        for m in range(MONTHS):
            folder("archive", "year%d" % y, "month%02d" % m)
            for s in range(SETS):
                path = folder("archive", "year%d" % y, "month%02d" % m, "set%02d" % s)
                _touch(os.path.join(path, "notes.txt"))
    folder("misc")
    n = 0
    while folders < FOLDERS:
        folder("misc", "folder%03d" % n)
        n += 1
    return folders, projects
