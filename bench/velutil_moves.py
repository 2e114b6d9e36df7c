"""Moves every file of a folder into "results" with a copy in "backup", either
through velutil (`velutil`) or as a plain script that takes the same durable
steps (`plain`): the backup written to a temporary file, flushed and linked
into place, the file renamed, and the receiving folder flushed."""
import os
import shutil
import sys


def flush_folder(folder):
    fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    try:
        os.fsync(fd)
    finally:
        os.close(fd)


def plain_move(path, dest, backup):
    temp = os.path.join(os.path.dirname(backup), "." + os.path.basename(backup) + ".tmp")
    with open(path, "rb") as source, open(temp, "wb") as target:
        shutil.copyfileobj(source, target)
        target.flush()
        os.fsync(target.fileno())
    os.link(temp, backup)
    os.unlink(temp)
    os.rename(path, dest)
    flush_folder(os.path.dirname(dest))


def main(mode, folder):
    results, backup = os.path.join(folder, "results"), os.path.join(folder, "backup")
    os.makedirs(results, exist_ok=True)
    os.makedirs(backup, exist_ok=True)
    if mode == "velutil":
        from velutil import fileMg

        move = fileMg.move_file_force
    else:
        move = plain_move
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            move(path, os.path.join(results, name), os.path.join(backup, name))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
