#!/usr/bin/python3
"""Fails when the build or the tests use a system file that no package of
scripts/install-deps.sh brings, directly or as a dependency: what passes here then passes on a
fresh machine that ran only that script.

Used files: the headers of every object (ninja's deps), the libraries of every link line, the
CMake files configure read and the files their imported targets name, the tools the CMake cache
names, the compiler's own programs, the programs the tests and scripts start, and the modules
python3 loads for the project's scripts. Run it with Debian's python3, after a build."""

import argparse
import ast
import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

# Where a fresh Debian system looks for programs (the tests start them by name).
SYSTEM_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
# A fresh Debian system has these without asking.
BASE_PRIORITIES = {"required"}


def run(argv):
    return subprocess.run(argv, capture_output=True, text=True, check=False)


def output(argv):
    """What a command that must work prints; the guard stops when it fails."""
    done = run(argv)
    if done.returncode != 0 or not done.stdout.strip():
        sys.exit(f"{' '.join(argv)} failed: {done.stderr.strip()}")
    return done.stdout


# ---- the packages install-deps.sh brings -------------------------------------------------

def listed_packages(script):
    text = Path(script).read_text()
    # Every NAME_packages=( ... ) list: what the program needs and what the tests add.
    blocks = re.findall(r"^\w*packages=\((.*?)^\)", text, re.S | re.M)
    if not blocks:
        sys.exit(f"{script}: no packages=( ... ) list")
    return {w for block in blocks for line in block.splitlines() for w in line.split("#")[0].split()}


def installed_packages():
    fmt = "${Package}\t${Essential}\t${Priority}\t${Provides}\t${Pre-Depends}\t${Depends}\t${db:Status-Abbrev}\n"
    packages, providers = {}, {}
    for line in output(["dpkg-query", "-W", "-f", fmt]).splitlines():
        name, essential, priority, provides, predepends, depends, status = line.split("\t")
        if not status.startswith("ii"):
            continue
        packages[name] = {"base": essential == "yes" or priority in BASE_PRIORITIES,
                          "depends": ", ".join(d for d in (predepends, depends) if d)}
        for virtual in provides.split(","):
            if virtual.strip():
                providers.setdefault(bare_name(virtual), set()).add(name)
    return packages, providers


def bare_name(dependency):
    return re.split(r"[\s(:]", dependency.strip(), maxsplit=1)[0]


def allowed_packages(roots, packages, providers):
    """Everything install-deps' packages and the base system pull in, as installed here."""
    todo = [p for p in roots if p in packages] + [p for p, info in packages.items() if info["base"]]
    allowed = set()
    while todo:
        name = todo.pop()
        if name in allowed:
            continue
        allowed.add(name)
        for group in packages[name]["depends"].split(","):
            for alternative in group.split("|"):
                dep = bare_name(alternative)
                if not dep:
                    continue
                todo.extend(n for n in ({dep} & packages.keys()) | providers.get(dep, set()) if n not in allowed)
    return allowed


# ---- the files the build and the tests use ----------------------------------------------

def outside(path, trees):
    return path.startswith("/") and not any(path.startswith(t + "/") for t in trees)


def header_files(build):
    deps = output(["ninja", "-C", build, "-t", "deps"])
    return {line.strip() for line in deps.splitlines() if line.startswith(" ") and line.strip().startswith("/")}


def compiler_files(build):
    """CMake's record of the toolchain: its compilers, archivers and linker."""
    return list(Path(build, "CMakeFiles").glob("*/CMake*Compiler.cmake"))


def compiler(build):
    for f in compiler_files(build):
        m = re.search(r'^set\(CMAKE_CXX_COMPILER "(/[^"]+)"\)', f.read_text(), re.M)
        if m:
            return m.group(1)
    sys.exit(f"{build}: no C++ compiler recorded; configure and build first")


def ninja_files(build, cxx):
    """The libraries on the link lines, the programs of the build's own steps and the CMake files
    configure read."""
    text = Path(build, "build.ninja").read_text()
    files = set()
    for line in text.splitlines():
        line = line.strip()
        if line.startswith(("LINK_LIBRARIES =", "LINK_PATH =")):
            for word in shlex.split(line.split("=", 1)[1]):
                if word.startswith("/"):
                    files.add(word)
                elif word.startswith("-l") and len(word) > 2:
                    files.add(library_file(cxx, word[2:]))
        elif line.startswith("COMMAND ="):
            for step in line.split("=", 1)[1].split("&&"):
                program = step.split()[0] if step.split() else ""
                files.update([program] if program.startswith("/") else [])
        elif line.startswith("build build.ninja: RERUN_CMAKE"):
            files.update(w for w in line.split("|", 1)[1].split() if w.startswith("/"))
    return {f for f in files if f}


def library_file(cxx, name):
    for candidate in (f"lib{name}.so", f"lib{name}.a"):
        found = run([cxx, f"-print-file-name={candidate}"]).stdout.strip()
        if found.startswith("/"):
            return os.path.normpath(found)
    return f"(the library -l{name}, which {cxx} cannot find)"


def imported_files(cmake_files):
    """The files the imported targets of CMake packages name: configure insists they exist."""
    multiarch = output(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"]).strip()
    files = set()
    for f in cmake_files:
        if not f.endswith(".cmake") or not os.path.isfile(f):
            continue
        prefix = import_prefix(Path(f).parent)
        for listed in re.findall(r"list\(APPEND _(?:cmake_import_check_files_for|IMPORT_CHECK_FILES_FOR)_\S+ (.*)\)",
                                 Path(f).read_text(errors="replace")):
            for path in re.findall(r'"([^"]+)"', listed):
                path = path.replace("${_IMPORT_PREFIX}", prefix).replace("${DEB_HOST_MULTIARCH}", multiarch)
                files.add(path if path.startswith("/") and "${" not in path else f"(a file {f} names: {path})")
    return files


def import_prefix(folder):
    """The prefix a package's targets file derives from its own place: one folder up per step."""
    for f in folder.glob("*.cmake"):
        text = f.read_text(errors="replace")
        if '_IMPORT_PREFIX "${CMAKE_CURRENT_LIST_FILE}" PATH' in text:
            steps = text.count('get_filename_component(_IMPORT_PREFIX "${_IMPORT_PREFIX}" PATH)')
            prefix = folder
            for _ in range(steps):
                prefix = prefix.parent
            return str(prefix)
    return str(folder)


def cache_files(build):
    """The tools configure chose: the toolchain, the make program, and every *_EXECUTABLE."""
    files = set()
    for line in Path(build, "CMakeCache.txt").read_text().splitlines():
        m = re.match(r"^([A-Za-z0-9][A-Za-z0-9_]*):(\w+)=(/.*)$", line)  # no _internal entries
        if m and (m.group(1).startswith("CMAKE_") or m.group(1).endswith("_EXECUTABLE")) and os.path.isfile(m.group(3)):
            files.add(m.group(3))
    for f in compiler_files(build):
        files.update(p for p in re.findall(r'^set\(CMAKE_\w+ "(/[^";]+)"\)', f.read_text(), re.M) if os.path.isfile(p))
    return files


def compiler_programs(cxx):
    found = (run([cxx, f"-print-prog-name={p}"]).stdout.strip() for p in ("cc1plus", "as", "ld"))
    return {shutil.which(p) or p for p in found if p}


# Words in command position of shell code, and the first word of argv lists in C++ and Python.
SHELL_COMMAND = re.compile(r"(?:^|[;|&(`]|\$\(|\b(?:then|do|else|exec|time|if|while|until)\s)\s*!?\s*([A-Za-z0-9_.+-]+)")
ARGV_START = re.compile(r"""[{(\[]\s*["']([A-Za-z0-9_.+-]+)["']""")
CMAKE_COMMAND = re.compile(r"\bCOMMAND\s+([A-Za-z0-9_.+-]+)")
LOOKED_UP = re.compile(r"""(?:\bwhich\(\s*["']|\bcommand -v\s+)([A-Za-z0-9_.+-]+)""")
SYSTEM_FILE = re.compile(r"(?<![\w./-])(/(?:usr|bin|sbin|lib|opt)/[A-Za-z0-9_.+/-]+)")


def project_files(source):
    """The project's own files: the source tree without its build trees."""
    for folder, subfolders, names in os.walk(source):
        subfolders[:] = [d for d in subfolders if d != ".git" and not os.path.exists(Path(folder, d, "CMakeCache.txt"))]
        yield from (os.path.relpath(Path(folder, n), source) for n in names)


def started_programs(source):
    tracked = list(project_files(source))
    if not tracked:
        sys.exit(f"{source}: no files to read")
    words, files = set(), set()
    for name in tracked:
        if name == "scripts/install-deps.sh" or not (name.startswith(("tests/", "bench/", "scripts/", "fuzz/", ".ci/", "cmake/"))
                                                     or name in ("Makefile", "CMakeLists.txt") or name.endswith(".py")):
            continue
        path = Path(source, name)
        text = path.read_text(errors="replace")
        words.update(LOOKED_UP.findall(text))
        files.update(f for f in SYSTEM_FILE.findall(text) if os.path.isfile(f))
        if name.endswith((".cpp", ".h", ".py")):
            words.update(ARGV_START.findall(text))
        elif name.endswith("CMakeLists.txt") or name.endswith(".cmake"):
            words.update(CMAKE_COMMAND.findall(text))
        elif name.endswith(".sh") or name == "Makefile" or text.startswith("#!"):
            for line in text.splitlines():
                words.update(w for w in SHELL_COMMAND.findall(line.lstrip("\t@-").split("#")[0]) if "=" not in w)
    programs = files
    for word in words:
        found = shutil.which(word, path=SYSTEM_PATH)
        if found:
            programs.add(found)
        elif shutil.which(word):
            programs.add(f"(the program {word}, found only at {shutil.which(word)}, off the system's PATH)")
    return programs


LOADED_MODULES = """
import importlib, sys
started = set(sys.modules)  # the interpreter's own start, site hooks of other packages included
sys.path.insert(0, sys.argv[1])
for name in sys.argv[2:]:
    try:
        importlib.import_module(name)
    except Exception as e:
        print(f"(the module {name}, which python3 cannot import: {e})")
for name, module in list(sys.modules.items()):
    if name not in started and getattr(module, "__file__", None):
        print(module.__file__)
"""


def python_modules(source):
    """The files python3 loads for what the project's scripts import."""
    files = {sys.executable}
    for name in (n for n in project_files(source) if n.endswith(".py")):
        script = Path(source, name)
        imported = set()
        for node in ast.walk(ast.parse(script.read_text())):
            if isinstance(node, ast.Import):
                imported.update(a.name for a in node.names)
            elif isinstance(node, ast.ImportFrom) and node.module and node.level == 0:
                imported.add(node.module)
        out = run([sys.executable, "-c", LOADED_MODULES, str(script.parent), *sorted(imported)]).stdout
        files.update(out.splitlines())
    return files


# ---- who owns them ----------------------------------------------------------------------

def variants(path):
    """The names dpkg may know a file by: itself, its target, and the other side of /usr-merge."""
    names = [path, os.path.realpath(path)]
    for name in list(names):
        for short in ("/bin/", "/sbin/", "/lib/", "/lib64/"):
            if name.startswith("/usr" + short):
                names.append(name[4:])
            elif name.startswith(short):
                names.append("/usr" + name)
    return list(dict.fromkeys(names))


def owners(paths):
    """dpkg -S for many files at once: {path: {package, ...}}; unknown files are absent."""
    found = {}
    paths = sorted(paths)
    for i in range(0, len(paths), 500):
        for line in run(["dpkg", "-S", *paths[i:i + 500]]).stdout.splitlines():
            if line.startswith("diversion by"):
                continue
            packages, _, path = line.partition(": ")
            if path in paths:
                found.setdefault(path, set()).update(p.split(":")[0].strip() for p in packages.split(","))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    source, build = os.path.realpath(args.source), os.path.realpath(args.build)

    roots = listed_packages(Path(source, "scripts/install-deps.sh"))
    packages, providers = installed_packages()
    allowed = allowed_packages(roots, packages, providers)

    cxx = compiler(build)
    from_ninja = ninja_files(build, cxx)
    used = header_files(build) | from_ninja | imported_files(from_ninja) | cache_files(build)
    used |= compiler_programs(cxx) | started_programs(source) | python_modules(source)
    used = {u for u in used if not u.startswith("/") or outside(os.path.realpath(u), (source, build))}
    used = {u for u in used if not u.startswith("/") or outside(u, (source, build))}

    names = {u: variants(u) for u in used if u.startswith("/")}
    owned = owners({n for vs in names.values() for n in vs})
    faults = sorted(u for u in used if not u.startswith("/"))
    for path, candidates in sorted(names.items()):
        package_sets = [owned[n] for n in candidates if n in owned]
        if not package_sets:
            faults.append(f"{path}: belongs to no package")
        elif not any(ps & allowed for ps in package_sets):
            faults.append(f"{path}: from {', '.join(sorted(set().union(*package_sets)))}, "
                          "which scripts/install-deps.sh does not install")
    if faults:
        print(f"{len(faults)} of {len(used)} system files the build and the tests use would be missing "
              "on a machine that has only what scripts/install-deps.sh installs:")
        print("\n".join("  " + f for f in faults))
        return 1
    print(f"{len(used)} system files, all from the {len(allowed)} packages install-deps.sh brings")
    return 0


if __name__ == "__main__":
    sys.exit(main())
