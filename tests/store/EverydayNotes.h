#pragma once

// Short everyday notes, each with a search that shares no word with it, as a person types it when
// they remember what a note was about but not how it was put. Notes of one area (home, health,
// travel, work, money, family, school, hobbies) go together: "This reminds me of…" should offer
// others of the area. Notes marked held out were not looked at while the engine's weights were
// chosen; they tell whether those weights carry over.

namespace vesk::test {

struct EverydayNote {
    const char* area;
    const char* text;
    const char* query;
    bool heldOut;
};

inline constexpr EverydayNote everydayNotes[] = {
    {"home", "Water dripping from the ceiling in the upstairs bathroom after the storm", "roof leak", false},
    {"home", "The boiler makes a banging noise and the radiators stay cold", "heating broken", false},
    {"home", "Call the plumber, kitchen sink is blocked again", "clogged drain", false},
    {"home", "Electrician coming Thursday to replace the fuse box", "wiring fault", true},

    {"home", "Hoover the stairs and mop the hallway floor", "housework", false},
    {"home", "Laundry: wash the bed sheets and towels on Saturday", "clean linen", false},
    {"home", "Defrost the freezer and wipe out the fridge", "refrigerator cleaning", false},
    {"home", "Take the bins out, recycling is picked up on Tuesday", "garbage collection", true},

    {"home", "Mow the lawn and trim the hedge before the weekend", "grass cutting", false},
    {"home", "Plant tulip bulbs in the flower bed this autumn", "gardening in fall", false},
    {"home", "Tomatoes need watering every evening in the greenhouse", "vegetable plants", false},
    {"home", "Buy compost and a new hose at the garden centre", "soil and tools for the yard", true},

    {"health", "Dentist appointment on Monday at 9, ask about the cracked molar", "tooth pain", false},
    {"health", "Physio exercises for my knee, twice a day", "joint injury therapy", false},
    {"health", "Pick up the antibiotics from the pharmacy", "prescription medicine", false},
    {"health", "Book an eye test, the glasses feel too weak", "optician vision check", true},

    {"health", "Morning run, 5 km around the lake", "jogging", false},
    {"health", "Swimming lessons for the kids start in September", "pool classes for children", false},
    {"health", "Yoga class on Wednesday evenings at the community hall", "stretching and meditation", false},
    {"health", "Gym membership renews next month, cancel or keep?", "fitness subscription", true},

    {"travel", "Flight to Lisbon leaves at 7:40, check in online the night before", "plane to Portugal", false},
    {"travel", "Hotel in Rome booked for three nights, breakfast included", "accommodation in Italy", false},
    {"travel", "Renew my passport before the summer holiday", "travel documents expiring", false},
    {"travel", "Train tickets to Edinburgh, seats in coach C", "railway journey to Scotland", true},

    {"travel", "Pack sunscreen, swimsuit and sandals for the beach trip", "seaside luggage", false},
    {"travel", "Car needs an oil change and new tyres before the road trip", "garage servicing", false},
    {"travel", "Get euros from the bank before leaving", "foreign cash exchange", false},
    {"travel", "Camping trip: tent, sleeping bags, torch and stove", "outdoor gear", true},

    {"work", "Meeting with my manager about the promotion on Friday", "talk with the boss about a raise", false},
    {"work", "Quarterly report due to the finance team by the 30th", "accounts document deadline", false},
    {"work", "Prepare slides for Tuesday's client presentation", "customer pitch", false},
    {"work", "Job interview at 10, bring copies of my CV", "applying for a new position", true},

    {"work", "Submit expenses for the conference taxi and lunch", "reimbursement claim", false},
    {"work", "Colleague leaving, collect money for a farewell gift", "goodbye present for a coworker", false},
    {"work", "Annual leave request for the first week of August", "vacation days off", false},
    {"work", "Laptop keeps crashing, raise a ticket with IT support", "computer problem helpdesk", true},

    {"money", "Pay the electricity bill before the 15th", "power invoice", false},
    {"money", "Mortgage payment went up, compare rates with other lenders", "home loan interest", false},
    {"money", "Monthly budget: rent, food, transport, savings", "household spending plan", false},
    {"money", "File the tax return and find last year's receipts", "yearly fiscal paperwork", true},

    {"money", "Refund for the broken headphones should arrive in five days", "money back on returned earphones", false},
    {"money", "Cancel the streaming subscription we never watch", "stop paying for television", false},
    {"money", "Car insurance renewal quote is too high, shop around", "motor policy premium", false},
    {"money", "Open a savings account for the kids", "bank deposit for children", true},

    {"family", "Mum's birthday on the 12th, order flowers and a cake", "present for my mother", false},
    {"family", "Grandparents visiting for Sunday lunch", "my mother's folks coming over for a meal", false},
    {"family", "Babysitter for Saturday night, ask the neighbour's daughter", "childcare for the evening", false},
    {"family", "Wedding anniversary dinner, book a table somewhere nice", "married ten years restaurant", true},

    {"family", "Pediatrician checkup and vaccinations for the baby", "infant doctor injections", false},
    {"family", "Buy nappies, wipes and formula", "diapers for the newborn", false},
    {"family", "Toddler won't settle, try an earlier bedtime routine", "little one restless at night", false},
    {"family", "Playdate at the park after nursery", "kids playing together outside", true},

    {"school", "Parents' evening at the school on Thursday at 6", "talk with the teachers", false},
    {"school", "Help with maths homework: fractions and long division", "arithmetic assignment", false},
    {"school", "Trip to the science museum, permission slip and packed lunch", "class excursion consent form", false},
    {"school", "Buy uniform, shoes and a new backpack before term starts", "clothes and bag for the school year", true},

    {"school", "Revise for the chemistry exam next week", "preparing for finals", false},
    {"school", "Essay on the French revolution due Friday", "history coursework", false},
    {"school", "University application deadline in January", "college admission", false},
    {"school", "Learn Spanish vocabulary, twenty words a day", "language lessons", true},

    {"hobbies", "Knitting a scarf, need more wool and bigger needles", "yarn for the craft project", false},
    {"hobbies", "Fishing on the river Saturday, buy bait and a new rod", "angling outing", false},
    {"hobbies", "Guitar practice: learn the chords for the new song", "playing an instrument", false},
    {"hobbies", "Oil painting class, bring brushes and a canvas", "artist workshop easel", true},

    {"hobbies", "Bake sourdough bread this weekend, feed the starter", "homemade loaf", false},
    {"hobbies", "Book club: finish the novel before Thursday", "reading group", false},
    {"hobbies", "Photography walk at sunrise, bring the tripod", "taking pictures early with a camera", false},
    {"hobbies", "Chess tournament on Sunday, practise openings", "board game competition", true},
};

} // namespace vesk::test
