# Loading a 20 MB JSON document and saving it again.
import json
import os

with open("data.json", encoding="utf-8") as f:
    doc = json.load(f)
with open("out.json", "w", encoding="utf-8") as f:
    json.dump(doc, f, ensure_ascii=False, separators=(",", ":"))
print(os.path.getsize("out.json"))
