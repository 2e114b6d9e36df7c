"""Writes the example expense workbooks of examples/receipt_sort (run once;
the workbooks are kept in the repository)."""
from pathlib import Path

from openpyxl import Workbook
from openpyxl.styles import Font

FOLDER = Path(__file__).resolve().parent / "receipt_sort"


def expense_form(path, name, amount, items):
    book = Workbook()
    sheet = book.active
    sheet.title = "Expense claim"
    sheet["B2"] = "Expense claim"
    sheet["B2"].font = Font(bold=True, size=14)
    sheet["C6"] = "Name:"
    if name is not None:
        sheet["D6"] = name
    sheet["C9"], sheet["D9"], sheet["P9"] = "Date", "Item", "Amount"
    for row, (day, item, cost) in enumerate(items, start=10):
        sheet.cell(row=row, column=3, value=day)
        sheet.cell(row=row, column=4, value=item)
        sheet.cell(row=row, column=16, value=cost)
    sheet["O56"] = "Total"
    if amount is not None:
        sheet["P56"] = amount
    book.save(path)


def main():
    FOLDER.mkdir(exist_ok=True)
    expense_form(FOLDER / "claim_march.xlsx", "Sample", 1280,
                 [("03-02", "Train tickets", 980), ("03-03", "Hotel", 300)])
    expense_form(FOLDER / "claim_lab_trip.xlsx", "Lab A/B: Weber", 89.9,
                 [("04-11", "Taxi", 89.9)])
    expense_form(FOLDER / "claim_unnamed.xlsx", "   ", 42, [("05-01", "Parking", 42)])
    expense_form(FOLDER / "claim_no_total.xlsx", "Kim Osei", None, [("05-07", "Lunch", 18)])
    expense_form(FOLDER / "claim_conference.xlsx", "Ana Lima", 1280.5,
                 [("06-20", "Conference fee", 950), ("06-21", "Flight", 330.5)])
    # A name typed over two lines, and a total the spreadsheet could not compute.
    expense_form(FOLDER / "claim_two_lines.xlsx", "Jo\nPark", 64, [("07-02", "Books", 64)])
    expense_form(FOLDER / "claim_error_total.xlsx", "Lee Min", "#N/A", [("07-09", "Dinner", 31)])
    # An older format and a file that only looks like a workbook.
    expense_form(FOLDER / "claim_old_format.xls", "Old Format", 10, [])
    (FOLDER / "claim_not_a_workbook.xlsx").write_text("This is a note, not a workbook.\n")


if __name__ == "__main__":
    main()
