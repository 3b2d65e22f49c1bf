# Reading a 20 MB CSV file and writing it again.
import csv
import os

with open("data.csv", encoding="utf-8", newline="") as f:
    rows = list(csv.reader(f))
with open("out.csv", "w", encoding="utf-8", newline="") as f:
    csv.writer(f, lineterminator="\n").writerows(rows)
print(os.path.getsize("out.csv"))
