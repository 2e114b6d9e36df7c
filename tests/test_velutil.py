"""velutil as the tools and their users see it."""
import io
import json
import logging
import os
import sys
import uuid

import pytest

from velutil import app_logging, dataIO, fileMg, parseTools


def fresh_name():
    return "Test" + uuid.uuid4().hex[:8]


class TestLazyLogger:
    def test_one_line_per_record_with_level_and_name(self, capsys):
        name = fresh_name()
        log = app_logging.lazy_logger(name)
        log.info("hello")
        log.debug("hidden by default")
        log.warning({"any": "object"})
        assert capsys.readouterr().err.splitlines() == [f"INFO {name}: hello", f"WARNING {name}: {{'any': 'object'}}"]

    def test_asking_twice_gives_the_same_logger_and_one_handler(self, capsys):
        name = fresh_name()
        first = app_logging.lazy_logger(name)
        second = app_logging.lazy_logger(name)
        assert first is second is logging.getLogger(name)
        second.error("once")
        assert capsys.readouterr().err.count("once") == 1

    def test_debug_environment_switches_on_debug(self, capsys, monkeypatch):
        monkeypatch.setenv("VELKIT_DEBUG", "1")
        log = app_logging.lazy_logger(fresh_name())
        log.debug("details")
        assert "DEBUG" in capsys.readouterr().err

    def test_exception_adds_the_traceback(self, capsys):
        log = app_logging.lazy_logger(fresh_name())
        try:
            raise ValueError("boom")
        except ValueError:
            log.exception("failed")
        err = capsys.readouterr().err
        assert "failed" in err and "Traceback" in err and "ValueError: boom" in err

    @pytest.mark.parametrize(
        "args, stream_class, raised",
        [
            (("many",), io.StringIO, "TypeError: %d format"),
            # flush is called from C code, so the error has no Python frame of its own.
            ((7,), type("Unflushable", (io.StringIO,), {"flush": None}), "TypeError: 'NoneType' object"),
        ],
        ids=["bad-arguments", "failing-stream"],
    )
    def test_logging_error_is_reported_and_never_raised(self, monkeypatch, args, stream_class, raised):
        stream = stream_class()
        monkeypatch.setattr(sys, "stderr", stream)
        log = app_logging.lazy_logger(fresh_name())

        def report_items():
            log.info("%d items", *args)

        report_items()
        err = stream.getvalue()
        assert "--- Logging error ---\nTraceback (most recent call last):\n" in err
        assert raised in err
        # The call stack shows where the record came from.
        assert "Call stack:" in err and "in report_items" in err
        assert "Message: '%d items'" in err


def test_generate_json_template_writes_utf8_into_cwd(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    written = fileMg.generate_json_template({"name": "Müller €", "n": [1, 2]}, "t.json")
    assert os.path.samefile(written, tmp_path / "t.json")
    text = (tmp_path / "t.json").read_text(encoding="utf-8")
    assert text == '{\n    "name": "Müller €",\n    "n": [\n        1,\n        2\n    ]\n}\n'
    assert sorted(os.listdir(tmp_path)) == ["t.json"]
    # The same again is fine; an edited file is never replaced.
    fileMg.generate_json_template({"name": "Müller €", "n": [1, 2]}, "t.json")
    (tmp_path / "t.json").write_text("old")
    with pytest.raises(FileExistsError, match="differs from the template"):
        fileMg.generate_json_template({"name": "Müller €", "n": [1, 2]}, "t.json")
    assert (tmp_path / "t.json").read_text() == "old"


class TestLoadJsonFile:
    @pytest.mark.parametrize(
        "content, problem",
        [
            (None, "Cannot read"),
            (b'{"config": "\xff"}', "is not UTF-8"),
            (b'{\n  "config": {,}\n}', "line 2, column 14"),
            (b"[1, 2]", "must hold a JSON object"),
            (b'{"other": 1}', "lacks the required key 'config'"),
        ],
        ids=["missing", "not-utf8", "invalid-json", "not-object", "missing-key"],
    )
    def test_failure_logs_one_error_naming_the_file(self, tmp_path, capsys, content, problem):
        path = tmp_path / "conf.json"
        if content is not None:
            path.write_bytes(content)
        assert fileMg.load_json_file(str(path), required_keys=["config"]) is None
        errors = [line for line in capsys.readouterr().err.splitlines() if line.startswith("ERROR")]
        assert len(errors) == 1
        assert "conf.json" in errors[0] and problem in errors[0]

    def test_success_returns_required_values_then_whole_object(self, tmp_path):
        path = tmp_path / "conf.json"
        path.write_bytes(b'\xef\xbb\xbf{"config": {"a": 1}, "extra": true}')
        result = fileMg.load_json_file(str(path), required_keys=["config"])
        assert result[0] == {"a": 1}
        assert result[-1] == {"config": {"a": 1}, "extra": True}


def test_check_file_or_dir_codes(tmp_path):
    (tmp_path / "f.txt").write_text("x")
    codes = [fileMg.checkFileOrDir(str(p)) for p in (tmp_path, tmp_path / "none", tmp_path / "f.txt")]
    assert codes[0] == 0 and codes[1] != 0 and codes[2] != 0 and codes[1] != codes[2]


class TestFindFiles:
    def test_pair_of_paths_and_names_in_name_order(self, tmp_path):
        for name in ["b.PNG", "a.png", ".hidden.png", "~$lock.xlsx", "c.xlsx", "d.txt"]:
            (tmp_path / name).write_text("x")
        paths, names = fileMg.find_files_with_extensions(in_path=str(tmp_path), extensions=["png", ".xlsx"])
        assert names == ["a.png", "b.PNG", "c.xlsx"]
        assert paths == [os.path.join(str(tmp_path), n) for n in names]

    def test_missing_folder_logs_and_gives_empty_lists(self, tmp_path, capsys):
        assert fileMg.find_files_with_extensions(str(tmp_path / "none"), ["png"]) == ([], [])
        assert "Folder not found" in capsys.readouterr().err

    def test_recursive_on_request(self, tmp_path):
        (tmp_path / "sub").mkdir()
        (tmp_path / "sub" / "x.md").write_text("x")
        assert fileMg.find_files_with_extensions(str(tmp_path), ["md"])[1] == []
        assert fileMg.find_files_with_extensions(str(tmp_path), ["md"], recursive=True)[1] == ["x.md"]


def test_path_helpers(tmp_path):
    (tmp_path / "r.xlsx").write_text("x")
    assert fileMg.check_file_exists(str(tmp_path / "r.xlsx"), allowed_extensions=[".xlsx"])
    assert not fileMg.check_file_exists(str(tmp_path / "r.xlsx"), allowed_extensions=["csv"])
    assert not fileMg.check_file_exists(str(tmp_path), allowed_extensions=["xlsx"])
    assert fileMg.get_folder_from_path(str(tmp_path / "r.xlsx")) == str(tmp_path)
    assert fileMg.get_folder_from_path(str(tmp_path)) == str(tmp_path)
    planned = fileMg.generate_output_path(str(tmp_path), "results")
    assert planned == str(tmp_path / "results") and not os.path.exists(planned)
    out = fileMg.get_output_file_path(str(tmp_path / "out" / "deep"), "result.xlsx")
    assert out == str(tmp_path / "out" / "deep" / "result.xlsx") and os.path.isdir(tmp_path / "out" / "deep")


class TestMoveFileForce:
    def test_moves_and_keeps_every_backup(self, tmp_path):
        for round_number in (1, 2):
            (tmp_path / "in.xlsx").write_text(f"receipt {round_number}")
            fileMg.move_file_force(str(tmp_path / "in.xlsx"), str(tmp_path / "res" / "new.xlsx"),
                                   str(tmp_path / "bak" / "in.xlsx"))
        assert not (tmp_path / "in.xlsx").exists()
        assert (tmp_path / "res" / "new.xlsx").read_text() == "receipt 2"
        assert (tmp_path / "bak" / "in.xlsx").read_text() == "receipt 1"
        assert (tmp_path / "bak" / "in_2.xlsx").read_text() == "receipt 2"

    def test_failure_raises_oserror_and_keeps_source(self, tmp_path):
        (tmp_path / "in.xlsx").write_text("data")
        (tmp_path / "blocker").write_text("a file, not a folder")
        with pytest.raises(OSError) as caught:
            fileMg.move_file_force(str(tmp_path / "in.xlsx"), str(tmp_path / "blocker" / "x.xlsx"),
                                   str(tmp_path / "bak" / "in.xlsx"))
        assert "blocker" in str(caught.value)
        assert (tmp_path / "in.xlsx").read_text() == "data"

    def test_without_replace_a_name_taken_after_planning_is_skipped(self, tmp_path):
        (tmp_path / "res").mkdir()
        (tmp_path / "res" / "new.xlsx").write_text("first")
        planned = fileMg.first_free_name(str(tmp_path / "res" / "new.xlsx"))
        assert planned == str(tmp_path / "res" / "new_2.xlsx")
        (tmp_path / "res" / "new_2.xlsx").write_text("appeared meanwhile")
        (tmp_path / "in.xlsx").write_text("moved")
        used = fileMg.move_file_force(src=str(tmp_path / "in.xlsx"), dest=str(tmp_path / "res" / "new.xlsx"),
                                      backup=str(tmp_path / "bak" / "in.xlsx"), replace=False)
        assert used == str(tmp_path / "res" / "new_3.xlsx")
        assert [(tmp_path / "res" / n).read_text() for n in ("new.xlsx", "new_2.xlsx", "new_3.xlsx")] == [
            "first", "appeared meanwhile", "moved"]


class TestNamesThatAreNotUtf8:
    BAD = os.fsdecode(b"bad\xffname")

    def test_found_and_moved_by_their_bytes(self, tmp_path):
        (tmp_path / f"{self.BAD}.xlsx").write_text("data")
        paths, names = fileMg.find_files_with_extensions(str(tmp_path), ["xlsx"])
        assert names == [f"{self.BAD}.xlsx"]
        used = fileMg.move_file_force(paths[0], str(tmp_path / "res" / names[0]), str(tmp_path / "bak" / names[0]),
                                      replace=False)
        assert os.fsencode(used) == os.fsencode(tmp_path / "res") + b"/bad\xffname.xlsx"
        assert os.listdir(os.fsencode(tmp_path / "bak")) == [b"bad\xffname.xlsx"]

    def test_messages_name_them_without_failing(self, tmp_path, capsys):
        assert fileMg.find_files_with_extensions(str(tmp_path / self.BAD), ["png"]) == ([], [])
        assert "Folder not found: " + str(tmp_path) + "/bad\\xffname" in capsys.readouterr().err
        (tmp_path / "in.xlsx").write_text("data")
        (tmp_path / "res" / f"{self.BAD}.xlsx").mkdir(parents=True)
        (tmp_path / "res" / f"{self.BAD}.xlsx" / "inside").write_text("a folder in the way")
        with pytest.raises(OSError, match="Cannot move to .*bad\udcffname.xlsx"):
            fileMg.move_file_force(str(tmp_path / "in.xlsx"), str(tmp_path / "res" / f"{self.BAD}.xlsx"),
                                   str(tmp_path / "bak" / "in.xlsx"))
        assert (tmp_path / "in.xlsx").read_text() == "data"


def test_first_free_name_counts_the_given_paths_as_taken(tmp_path):
    (tmp_path / "a.xlsx").write_text("x")
    assert fileMg.first_free_name(str(tmp_path / "b.xlsx")) == str(tmp_path / "b.xlsx")
    assert fileMg.first_free_name(str(tmp_path / "a.xlsx"), taken={str(tmp_path / "a_2.xlsx")}) == str(
        tmp_path / "a_3.xlsx")


@pytest.mark.parametrize(
    "name, pattern, prefix, expected",
    [
        ("Result_g8_Peak_60dB_1.png", "g8_Peak_60dB", "Result", (True, "g8_Peak_60dB_1")),
        ("Result_g8_Peak_60dB_1.png", "g8_Peak", "Other", (False, "")),
        ("Result_range_5m.png", "range_*m", "Result", (True, "range_5m")),
        ("scan.png", "scan", "", (True, "scan")),
        ("Result_bad\udcffname.png", "bad?name", "Result", (True, "bad\udcffname")),
        (b"Result_bad\xffname.png", "bad", "Result", (True, b"bad\xffname")),
        ("Result_caf\u00e9.png", "caf?", "Result", (True, "caf\u00e9")),
    ],
    ids=["substring", "wrong-prefix", "wildcard", "no-prefix", "undecodable-str", "bytes", "one-code-point"],
)
def test_parse_fn_pattern(name, pattern, prefix, expected):
    matched, caption = parseTools.parseFn_pattern(name, pattern, fn_prefix=prefix)
    assert (bool(matched), caption if matched else "") == expected


def test_data_io_imports():
    assert dataIO.__name__ == "velutil.dataIO"
