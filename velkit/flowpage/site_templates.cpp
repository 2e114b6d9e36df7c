// The two page frames of the generated site, as format strings: {name}
// is a placeholder, {{ and }} stand for literal braces. Both begin and end
// with a line feed; trailing blanks on some lines belong to the text.
#include "site_templates.hpp"

namespace velkit::flowpage {

const char* const kPageTemplate = R"page(
<!DOCTYPE html>
<html>
<head>
    <meta charset="UTF-8">
    <title>{title}</title>
    <style>
        /* Base Notion Style */
        body {{ 
            font-family: -apple-system, BlinkMacSystemFont, "Segoe UI", Helvetica, "Apple Color Emoji", Arial, sans-serif, "Segoe UI Emoji", "Segoe UI Symbol"; 
            max-width: 900px; margin: 0 auto; padding: 40px 20px; line-height: 1.6; color: #37352f; 
        }}
        header, footer {{ 
            display: flex; justify-content: space-between; align-items: center; 
            padding: 10px 0; border-bottom: 1px solid #edece9; margin-bottom: 30px; 
        }}
        footer {{ border-bottom: none; border-top: 1px solid #edece9; margin-top: 50px; padding-top: 20px; }}
        .back-btn {{ text-decoration: none; color: #37352f; font-weight: 500; border: 1px solid #edece9; padding: 6px 16px; border-radius: 4px; background: #fafafa; transition: background 0.1s; }}
        .back-btn:hover {{ background: #e0e0e0; }}
        .title-text {{ font-size: 1.5em; font-weight: 600; }}
        
        /* Markdown Content Styles */
        .content {{ padding: 10px 0; font-size: 16px; }}
        .content h1, .content h2, .content h3, .content h4 {{ font-weight: 600; margin-top: 1.5em; margin-bottom: 0.5em; }}
        .content h1 {{ font-size: 1.875em; }}
        .content h2 {{ font-size: 1.5em; border-bottom: 1px solid #edece9; padding-bottom: 0.3em; }}
        .content h3 {{ font-size: 1.25em; }}
        .content p {{ margin-top: 0; margin-bottom: 1em; }}
        
        /* Links */
        .content a {{ color: inherit; text-decoration: underline; text-decoration-color: #d3d3d3; text-underline-offset: 2px; }}
        .content a:hover {{ text-decoration-color: #37352f; }}
        
        /* Lists */
        .content ul, .content ol {{ padding-left: 20px; margin-top: 0; margin-bottom: 1em; }}
        .content li {{ margin-bottom: 0.3em; }}
        
        /* Inline Code (灰底紅字 - Notion 風格) */
        .content code {{ 
            background: rgba(135, 131, 120, 0.15); /* 淡灰色底 */
            color: #eb5757;                        /* Notion 紅字 */
            padding: 0.2em 0.4em; 
            border-radius: 3px; 
            font-family: "SFMono-Regular", Consolas, "Liberation Mono", Menlo, Courier, monospace; 
            font-size: 0.9em; 
        }}
        
        /* Code Block (程式碼區塊) */
        .content pre {{ 
            background: #f7f6f3; /* Notion 的區塊底色 */
            padding: 16px; 
            border-radius: 4px; 
            overflow-x: auto; 
            margin-top: 0; 
            margin-bottom: 1em; 
        }}
        /* 覆寫 pre 裡面的 code，讓大區塊的 code 變回一般顏色 */
        .content pre code {{ 
            background: transparent; 
            color: #37352f; 
            padding: 0; 
            border-radius: 0; 
            font-size: 0.9em;
        }}
        
        /* Blockquote (引言) */
        .content blockquote {{ 
            border-left: 3px solid #37352f; 
            margin: 0 0 1em 0; 
            padding-left: 14px; 
            color: #787774; 
        }}
        
        /* Table (表格) */
        .content table {{ border-collapse: collapse; width: 100%; margin-bottom: 1em; }}
        .content th, .content td {{ border: 1px solid #edece9; padding: 8px 12px; text-align: left; }}
        .content th {{ background: #f7f6f3; font-weight: 500; }}
    </style>
</head>
<body>
    <header>
        <div class="title-text">{title}</div>
        <a href="index.html" class="back-btn">← Back</a>
    </header>
    <div class="content">
        {body_content}
    </div>
    <footer>
        <a href="index.html" class="back-btn">← Back to Index</a>
    </footer>
</body>
</html>
)page";

const char* const kIndexTemplate = R"index(
<!DOCTYPE html>
<html>
<head>
    <meta charset="UTF-8">
    <title>{index_title}</title>
    <style>
        body {{ font-family: -apple-system, BlinkMacSystemFont, "Segoe UI", Helvetica, Arial, sans-serif; 
               max-width: 800px; margin: 0 auto; padding: 40px 20px; line-height: 1.6; color: #37352f; }}
        ul {{ list-style: none; padding: 0; margin-bottom: 40px; }}
        li {{ margin-bottom: 10px; padding: 10px; border: 1px solid #edece9; border-radius: 4px; transition: background 0.2s; }}
        li:hover {{ background: #f7f6f3; }}
        a {{ text-decoration: none; color: #37352f; display: block; }}
        .icon {{ margin-right: 10px; font-size: 1.2em; }}
        h2 {{ border-bottom: 2px solid #edece9; padding-bottom: 10px; }}
        h3 {{ color: #555; margin-top: 30px; border-bottom: 1px dashed #edece9; padding-bottom: 5px; }}
    </style>
</head>
<body>
    <h2>📁 {index_title}</h2>
    {md_section}
    {chart_section}
</body>
</html>
)index";

}  // namespace velkit::flowpage

namespace velkit::flowpage {

const char* const kDefaultConfigJson = R"json({
    "config": {
        "input_folder": "./data_flowpage",
        "output_folder": "./data_flowpage/html_out",
        "index_title": "Project Documentation",
        "doc_titles": {
            "README.md": "README (v0.1)",
            "test.md": "Test MarkDown Document (v0.1)"
        },
        "chart_titles": {
            "ab.mmd": "A to B Flow",
            "cd.mmd": "C to D Flow"
        }
    }
})json";

}  // namespace velkit::flowpage
