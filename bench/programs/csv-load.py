# Reading a 20 MB CSV file into rows of values.
import csv

with open("data.csv", encoding="utf-8", newline="") as f:
    rows = list(csv.reader(f))
print(len(rows), rows[1][1])
