# Loading a 20 MB JSON document.
import json

with open("data.json", encoding="utf-8") as f:
    doc = json.load(f)
print(len(doc["records"]), doc["records"][0]["name"])
